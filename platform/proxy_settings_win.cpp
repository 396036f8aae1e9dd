// The current user's proxy as the browser sees it, through WinHTTP: the manual settings (only
// when the proxy is switched on) and the automatic configuration for each URL.
// clang-format off
#include <windows.h>
#include <winhttp.h>
// clang-format on

#include "platform/os_services.h"
#include "platform/wide_text_win.h"

namespace platform {

namespace {
// The settings' strings belong to the caller, freed with GlobalFree.
struct TIEConfig {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG c{};
    bool ok = false;
    TIEConfig() { ok = WinHttpGetIEProxyConfigForCurrentUser(&c) != FALSE; }
    ~TIEConfig() {
        for (LPWSTR s : {c.lpszAutoConfigUrl, c.lpszProxy, c.lpszProxyBypass})
            if (s) GlobalFree(s);
    }
    TIEConfig(const TIEConfig&) = delete;
    TIEConfig& operator=(const TIEConfig&) = delete;
};

struct TInternetHandle {
    HINTERNET h;
    ~TInternetHandle() {
        if (h) WinHttpCloseHandle(h);
    }
};
}  // namespace

bool TOSServices::ReadProxySettings(TSystemProxyText& out) {
    out = {};
    const TIEConfig config;
    if (!config.ok) return false;
    // Windows leaves the proxy text out when the proxy is switched off.
    if (config.c.lpszProxy) out.ProxyServer = Narrow(config.c.lpszProxy);
    if (config.c.lpszProxyBypass) out.ProxyBypass = Narrow(config.c.lpszProxyBypass);
    return true;
}

bool TOSServices::ProxyForUrl(const std::string& Url, std::string& ProxyText) {
    const TIEConfig config;
    if (!config.ok || (!config.c.fAutoDetect && !config.c.lpszAutoConfigUrl)) return false;
    const TInternetHandle session{WinHttpOpen(L"Brinquet Express Updater", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                              WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)};
    if (!session.h) return false;
    WINHTTP_AUTOPROXY_OPTIONS options{};
    if (config.c.lpszAutoConfigUrl) {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = config.c.lpszAutoConfigUrl;
    }
    if (config.c.fAutoDetect) {
        options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info{};
    if (!WinHttpGetProxyForUrl(session.h, Widen(Url).c_str(), &options, &info)) return false;
    ProxyText = info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && info.lpszProxy ? Narrow(info.lpszProxy) : "";
    if (info.lpszProxy) GlobalFree(info.lpszProxy);
    if (info.lpszProxyBypass) GlobalFree(info.lpszProxyBypass);
    return true;
}

}  // namespace platform
