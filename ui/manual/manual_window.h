#pragma once

#include <QDialog>

// The manual console's place among the program's windows. The console itself
// (its mounts, groups and tools) is not built yet: until it is, this window
// keeps its caption and its place in the start order and says so, and the
// chooser's "Вручную" opens it like the console.
class TfmManual : public QDialog {
    Q_OBJECT
public:
    explicit TfmManual(QWidget* parent = nullptr);
};
