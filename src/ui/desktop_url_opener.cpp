#include "ui/desktop_url_opener.hpp"

#include <QDesktopServices>
#include <QUrl>

namespace lumora {

void DesktopUrlOpener::open(const std::string& address)
{
    // The opener is started detached; its outcome is not ours to report.
    QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}

} // namespace lumora
