#pragma once
// The settings, the only persisted state of Carvo. One Settings is built at start-up and handed to
// those who read it. Each value is read fresh from the store at the moment a caller asks, and
// written the moment the operator changes it, so the settings sheet and the show never disagree.
//
// The keys every layer shares live here; a road or layer that alone reads a key keeps it beside
// its own code (the QLab road's in qlab/osc/osc_settings.h, the remote server's in
// remote/tcp_server.h) and reads it through text(), integer() and the like.

#include <optional>

#include <QSettings>
#include <QString>

namespace carvo {

class Settings {
public:
    static constexpr char floatingKey[] = "floating";
    static constexpr char standbyKey[] = "standby";
    static constexpr char preWaitKey[] = "preWait";
    static constexpr char storedInterfaceNameKey[] = "storedInterfaceName";

    // The user's own store: native user defaults on macOS, an ini file under the XDG config
    // folder elsewhere.
    Settings();
    // A store of its own in folder (--settings-dir, tests, the simulated demo), never the user's.
    explicit Settings(const QString& folder);

    bool floating() const;                              // false when absent
    bool standby() const;                               // false when absent
    double preWait() const;                             // 0 when absent
    std::optional<QString> storedInterfaceName() const; // none when absent

    void setFloating(bool value);
    void setStandby(bool value);
    void setPreWait(double value);
    void setStoredInterfaceName(const QString& value);

    // A setting kept as text: empty when absent; setting it empty removes it.
    QString text(const char* key) const;
    void setText(const char* key, const QString& value);
    // A whole number, or none when absent or not a number.
    std::optional<int> integer(const char* key) const;
    void setInteger(const char* key, int value);
    bool contains(const char* key) const;
    void remove(const char* key);

    // The folder this store keeps its file in; empty for the user's own store.
    const QString& folder() const { return m_folder; }

private:
    QSettings store() const;

    QString m_folder;
};

} // namespace carvo
