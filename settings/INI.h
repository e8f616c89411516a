#pragma once

#include <QString>

#include <cstdint>

struct CommonDialog;
class QWidget;
class WindowTimer;
struct Program;

struct ProgramState;

/// The effect items' check marks, which show the effect settings.
class EffectChecks {
public:
    virtual ~EffectChecks() = default;
    virtual void setEffectChecks(const ProgramState& state) = 0;
};

/// What the settings act on in the main window.
struct SettingsTargets {
    QWidget& window;
    WindowTimer& Timer1;
    CommonDialog& CmDialog;
    EffectChecks* menus = nullptr; // none before the menus exist
};

inline const QString kSettingsFile = QStringLiteral("tarnek.ini");
inline const QString kSettingsSection = QStringLiteral("TARNEK 1.10");

/// Reads every key into the program's state and applies it to the main window at once.
void LoadSettings(Program& program, const SettingsTargets& targets);
/// Writes every settings field, and the main window's position, to the settings file; nothing
/// in a run that has not read it.
void SaveSettings(Program& program, const SettingsTargets& targets);

/// The text of `key` in the settings file; empty when the file, the section or the key is missing.
QString ReadKey(Program& program, const QString& key);
/// Stores `value` under `key` in the settings file; a failure goes unnoticed.
void WriteKey(Program& program, const QString& key, const QString& value);
/// "yes" in any case gives -1, "no" gives 0, anything else `defaultValue`.
std::int16_t YesNoValue(const QString& text, std::int16_t defaultValue);
/// "Yes" for exactly -1, else "No".
QString YesNoText(std::int16_t flag);
