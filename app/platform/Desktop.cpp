#include "platform/Desktop.hpp"

#include <QClipboard>
#include <QGuiApplication>
#include <thread>

#include "Cleaner.hpp"

namespace Desktop {
void reveal(const std::string& path) {
    std::thread([path] {
        try {
            Cleaner::revealInFinder(path);
        } catch (...) {
            // Nothing to show: the user sees no window open and can try again.
        }
    }).detach();
}

void copyText(const std::string& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(QString::fromStdString(text), QClipboard::Clipboard);
}
}  // namespace Desktop
