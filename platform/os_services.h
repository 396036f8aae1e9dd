#pragma once
// The operating-system services the updater needs, behind one replaceable object so tests
// can answer in place of the system (an exit code, an elevation setting, a registry error).
// No OS header here: the POSIX realisation lives in os_services_posix.cpp.
#include <string>

namespace platform {

// The proxy settings in the shape the proxy lookup parses: a proxy server text of entries
// ("host:port" or "protocol=host:port") separated by blanks or commas, and a bypass list.
struct TSystemProxyText {
    std::string ProxyServer;
    std::string ProxyBypass;
    // Settings found and not used, for the log ("all_proxy=socks5://s.local:1080"), separated
    // by blanks; credentials are left out.
    std::string Ignored;
};

class TOSServices {
public:
    virtual ~TOSServices() = default;

    // Shell "open" of FileName with Params. Returns a value greater than 32 when the file
    // was started, otherwise an error value (<= 32); LastErrorText() then describes it.
    // ProgramFolder: a file inside it gets its execute bit before it is started.
    virtual int ShellOpen(const std::string& FileName, const std::string& Params, const std::string& ProgramFolder);
    // The system's message text for the calling thread's last error code.
    virtual std::string LastErrorText();

    // Runs exactly the file FileName, with Params split on blanks into its arguments (double
    // quotes group), and waits at most TimeOut ms (<= 0: no limit); returns the exit code.
    // The file's path is never split, whatever blanks its folders hold. Raises the
    // start-failure and time-out errors of the process runner, which name the run as
    // FileName + Params. ProgramFolder: a file inside it gets its execute bit first.
    virtual int RunAndWait(const std::string& FileName, const std::string& Params, int TimeOut,
                           const std::string& ProgramFolder);

    // User account control in force. Never on POSIX; may raise the registry errors.
    virtual bool IsUacEnabled();
    // The Windows 95/98/ME family, whose users must not reach the network from here.
    virtual bool IsWindows9x();

    // False when the system has no proxy settings to offer (no source at all).
    virtual bool ReadProxySettings(TSystemProxyText& out);
    // The automatic configuration's answer for one URL (a configuration script named in the
    // settings, or found by discovery): true with the proxy text it gave ("" for DIRECT),
    // false when the settings ask for no automatic configuration or it gave no answer.
    virtual bool ProxyForUrl(const std::string& Url, std::string& ProxyText);

    virtual std::string GetCurrentDir();
    virtual bool SetCurrentDir(const std::string& Dir);
    // A path on a mapped network drive as its UNC form; identity where there are none.
    virtual std::string ExpandUNCFileName(const std::string& FileName);
};

// The services in force: the system's unless a test installed others.
TOSServices& OSServices();
// Installs Services (not owned) until it is called again; nullptr restores the system's.
void SetOSServices(TOSServices* Services);

// A shell target with a scheme ("http:", "mailto:"): opened as it is, not as a file path.
bool IsUrl(const std::string& s);

}  // namespace platform

// The free operations of the process runner and the elevation probe, through OSServices().
int RunAndWait(const std::string& FileName, const std::string& Params, int TimeOut, const std::string& ProgramFolder);
bool IsUacEnabled();
