#pragma once
// Certificate checking for TLS plug-ins. The plug-ins check nothing unless asked
// (VerifyCert); a program that wants every connection checked sets the defaults once, and
// every plug-in created afterwards starts from them.
#include <string>

namespace http {

struct TTLSVerifyDefaults {
    bool VerifyCert = false;
    std::string CAFile;  // PEM certificates trusted besides the system's store; empty: none
};

void SetTLSVerifyDefaults(const TTLSVerifyDefaults& Defaults);
TTLSVerifyDefaults TLSVerifyDefaults();

}  // namespace http
