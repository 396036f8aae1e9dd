#pragma once
// A proxy prompt for the squid tests of both builds: it answers with fixed credentials and
// writes down what it was asked and what it was told afterwards.
#include <string>
#include <vector>

#include "http/proxy_auth.h"
#include "http/proxy_prompt.h"

// Events gets "asked PROXY SCHEME" for each question and "confirmed PROXY accepted|refused"
// for each verdict on an answer.
inline http::TScopedProxyPrompt RecordedProxyPrompt(std::vector<std::string>& Events, http::TProxyCredentials Given,
                                                    bool Answers) {
    return http::TScopedProxyPrompt(
        [&Events, Given, Answers](const std::string& Proxy, const std::string& Scheme, http::TProxyCredentials& Out) {
            Events.push_back("asked " + Proxy + " " + Scheme);
            Out = Given;
            return Answers;
        },
        [&Events](const std::string& Proxy, bool Accepted) {
            Events.push_back("confirmed " + Proxy + (Accepted ? " accepted" : " refused"));
        });
}
