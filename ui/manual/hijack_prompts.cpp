#include "manual/hijack_prompts.h"

#include "manual/console_widgets.h"
#include "shell/plain_text.h"

namespace {

// A carriage return breaks the line in the question; a Qt box breaks lines
// at line feeds.
QString boxText(const std::string& text) {
    QString shown = toQt(text);
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

} // namespace

QMessageBox::StandardButton HijackPromptBoxes::execBox(QMessageBox& box) {
    box.exec();
    return box.standardButton(box.clickedButton());
}

HijackPromptBoxes::HijackPromptBoxes(QWidget* parent, ShowBox show)
    : parent_(parent)
    , show_(std::move(show)) {}

bool HijackPromptBoxes::confirm(const std::string& text) {
    PlainMessageBox box(QMessageBox::Warning, QStringLiteral("Morvalin"), boxText(text),
                        QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return show_(box) == QMessageBox::Yes;
}

void HijackPromptBoxes::inform(const std::string& text) {
    PlainMessageBox box(QMessageBox::Information, QStringLiteral("Morvalin"), boxText(text),
                        QMessageBox::Ok, parent_);
    show_(box);
}
