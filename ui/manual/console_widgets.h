#pragma once

#include <string>
#include <string_view>

#include <QColor>
#include <QRect>
#include <QString>

#include "rules/text_colour.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The small pieces the console's groups are made of, each placed at its
// pixel position in its group as the console's fixed layout has it.

QString toQt(std::string_view text);
std::string fromQt(const QString& text);

QPushButton* makeButton(QWidget* parent, const char* name, std::string_view caption,
                        const QRect& geometry);
QLabel* makeLabel(QWidget* parent, std::string_view caption, const QRect& geometry);
// A read-only edit with bold text, named for accessibility by its label.
QLineEdit* makeValueEdit(QWidget* parent, const char* name, std::string_view label,
                         const QRect& geometry);
QGroupBox* makeGroup(QWidget* parent, const char* name, std::string_view caption,
                     const QRect& geometry);

// Black or red text, as the rules judge a value.
void setTextColour(QWidget* widget, engine::rules::TextColour colour);
QColor textColour(engine::rules::TextColour colour);
