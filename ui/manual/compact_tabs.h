#pragma once

class QTabWidget;

// A tab set whose tabs pad their captions by 6 pixels a side, as the
// console's fixed layout was drawn for, instead of the style's wider padding:
// the autorun groups' five tabs then all fit their group's width. The tabs
// never scroll, so none can hide behind scroll arrows.
void makeTabsCompact(QTabWidget& tabs);
