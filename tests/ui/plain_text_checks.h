#pragma once

#include <filesystem>
#include <string>

#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <gtest/gtest.h>

namespace test {

// Texts a locker may write where the windows show the target's strings: a
// green bold claim, and an image whose "file" is a named pipe (loading it
// would hold the window until someone writes to the pipe).
inline std::string boldClaim() {
    return "<b><font color=green>ВСЁ В ПОРЯДКЕ</font></b>";
}
inline std::string pipeImage(const std::filesystem::path& pipe) {
    return "<img src=\"" + pipe.string() + "\">";
}

// Every label of the application that holds a text shows it as plain text.
// Each is drawn first, so that a label taking its text for markup would lay
// it out (and load its images) now, under the test's eyes.
inline void expectEveryLabelPlain() {
    int labels = 0;
    for (QWidget* widget : QApplication::allWidgets()) {
        auto* label = qobject_cast<QLabel*>(widget);
        if (label == nullptr || label->text().isEmpty()) {
            continue;
        }
        ++labels;
        (void)label->grab();
        EXPECT_EQ(label->textFormat(), Qt::PlainText)
            << label->objectName().toStdString() << ": " << label->text().toStdString();
    }
    EXPECT_GT(labels, 0);
}

} // namespace test
