// clang-format off
#include <windows.h>
#include <wininet.h>
// clang-format on

#include <memory>

#include "http/internet_download.h"
#include "http/stream.h"
#include "platform/wide_text_win.h"

namespace http {

namespace {
struct TInternetClose {
    void operator()(HINTERNET h) const { InternetCloseHandle(h); }
};
using TInternetHandle = std::unique_ptr<void, TInternetClose>;
}  // namespace

bool DownloadThroughInternetFunctions(const std::string& Url, const std::string& Target, const bool& Cancel,
                                      const TInternetProgress& Progress) {
    const TInternetHandle root(
        InternetOpenW(L"Microsoft Internet Explorer", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE));
    // Declared after the root: the URL's handle is closed first.
    TInternetHandle url;
    if (root)
        url.reset(InternetOpenUrlW(root.get(), platform::Widen(Url).c_str(), nullptr, DWORD(-1),
                                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_RAW_DATA | INTERNET_FLAG_NO_CACHE_WRITE |
                                       INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_RESYNCHRONIZE |
                                       INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NEED_FILE,
                                   0));
    DWORD declared = 0, size = sizeof declared;
    if (!url ||
        !HttpQueryInfoW(url.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &declared, &size, nullptr))
        declared = 0;
    if (declared == 0) return false;

    TFileStream file(Target, TFileMode::CreateWrite);
    DWORD total = 0;
    char buffer[2048];
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(url.get(), buffer, sizeof buffer, &got)) got = 0;
        file.Write(buffer, got);
        total += got;
        if (Progress) Progress(int32_t(declared), int32_t(total));
        if (got == 0 || Cancel) break;
    }
    return total == declared;
}

}  // namespace http
