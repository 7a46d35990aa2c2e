#include "AppIcon.h"

#include <QImage>
#include <QPixmap>
#include <windows.h>

namespace xlt::app {

QIcon appIcon()
{
    // IDI_ICON1 is also the icon Windows shows for xlt.exe and its taskbar button.
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 256}) {
        const auto handle = static_cast<HICON>(
            ::LoadImageW(::GetModuleHandleW(nullptr), L"IDI_ICON1", IMAGE_ICON, size, size, 0));
        if (!handle)
            continue;
        icon.addPixmap(QPixmap::fromImage(QImage::fromHICON(handle)));
        ::DestroyIcon(handle);
    }
    return icon;
}

} // namespace xlt::app
