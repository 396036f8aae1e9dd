#include "http/internet_download.h"

namespace http {

bool DownloadThroughInternetFunctions(const std::string&, const std::string&, const bool&, const TInternetProgress&) {
    return false;
}

}  // namespace http
