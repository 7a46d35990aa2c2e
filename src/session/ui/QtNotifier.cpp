#include "QtNotifier.h"

#include "core/Text.h"

#include <QApplication>
#include <QMessageBox>

namespace xlt::session {

void QtNotifier::message(core::Icon icon, const std::string &text)
{
    QMessageBox box(icon == core::Icon::Information ? QMessageBox::Information
                                                    : QMessageBox::Warning,
                    QStringLiteral("XLT"), core::toQString(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

} // namespace xlt::session
