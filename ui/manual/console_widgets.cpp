#include "manual/console_widgets.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

#include "shell/plain_text.h"
#include "shell/window_fonts.h"

namespace {
constexpr int kFontPixels = 11; // Tahoma 8 pt at 96 dots per inch
}

QString toQt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string fromQt(const QString& text) {
    return text.toStdString();
}

QPushButton* makeButton(QWidget* parent, const char* name, std::string_view caption,
                        const QRect& geometry) {
    auto* button = new QPushButton(toQt(caption), parent);
    button->setObjectName(QString::fromUtf8(name));
    button->setGeometry(geometry);
    return button;
}

QLabel* makeLabel(QWidget* parent, std::string_view caption, const QRect& geometry) {
    QLabel* label = makePlainLabel(parent, toQt(caption));
    label->setGeometry(geometry);
    return label;
}

QLineEdit* makeValueEdit(QWidget* parent, const char* name, std::string_view label,
                         const QRect& geometry) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromUtf8(name));
    edit->setAccessibleName(toQt(label));
    edit->setReadOnly(true);
    edit->setFont(tahomaFont(kFontPixels, true));
    edit->setGeometry(geometry);
    return edit;
}

QGroupBox* makeGroup(QWidget* parent, const char* name, std::string_view caption,
                     const QRect& geometry) {
    auto* group = new QGroupBox(toQt(caption), parent);
    group->setObjectName(QString::fromUtf8(name));
    if (caption.empty()) {
        group->setAccessibleName(QString::fromUtf8(name));
    }
    group->setGeometry(geometry);
    return group;
}

QColor textColour(engine::rules::TextColour colour) {
    return colour == engine::rules::TextColour::Red ? QColor(Qt::red) : QColor(Qt::black);
}

void setTextColour(QWidget* widget, engine::rules::TextColour colour) {
    QPalette palette = widget->palette();
    const QColor shade = textColour(colour);
    palette.setColor(QPalette::Text, shade);
    palette.setColor(QPalette::WindowText, shade);
    palette.setColor(QPalette::ButtonText, shade);
    widget->setPalette(palette);
}
