#pragma once

#include <functional>
#include <string>

#include <QMessageBox>

#include "rules/image_hijacks.h"

// The image-hijack sweep's questions as message boxes over the console: a
// warning with Yes and No for each hit, an information box with OK after a
// deletion. Each box is shown through `show`, which returns the button that
// closed it: the program runs it modally, tests answer it.
class HijackPromptBoxes final : public engine::rules::HijackPrompts {
public:
    using ShowBox = std::function<QMessageBox::StandardButton(QMessageBox&)>;
    static QMessageBox::StandardButton execBox(QMessageBox& box);

    explicit HijackPromptBoxes(QWidget* parent, ShowBox show = &HijackPromptBoxes::execBox);

    bool confirm(const std::string& text) override;
    void inform(const std::string& text) override;

private:
    QWidget* parent_;
    ShowBox show_;
};
