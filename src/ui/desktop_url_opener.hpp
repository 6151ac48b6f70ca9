// Opens addresses through the desktop's default handler (the freedesktop opener, through Qt).
#pragma once

#include "ui/url_opener.hpp"

namespace lumora {

class DesktopUrlOpener final : public UrlOpener {
public:
    void open(const std::string& address) override;
};

} // namespace lumora
