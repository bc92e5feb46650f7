#pragma once

#include <functional>
#include <string>

#include <QGroupBox>

namespace engine::platform {
class Launcher;
}

// The console's tools (gbTools "Инструменты"): the registry editor, opened
// plain or at one of the two mount points, and the command prompt. They work
// whatever is mounted.
class ToolsBox : public QGroupBox {
    Q_OBJECT
public:
    using Log = std::function<void(const std::string&)>;
    using OpenAtKey = std::function<void(const QString&)>;
    ToolsBox(engine::platform::Launcher& launcher, Log log, OpenAtKey openAtKey, QWidget* parent);
};
