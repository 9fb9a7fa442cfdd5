// The settings window.
#pragma once

#include <QDialog>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <span>
#include <utility>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QGridLayout;
class QGroupBox;
class QLabel;
class QSlider;
class Settings;

// The settings window. It shows the stored values when it opens, changes nothing until
// "Save and Close" writes every value in one go (and closes with Accepted); "Cancel" and
// closing the window write nothing.
class Page3 final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Page3)

public:
    explicit Page3(Settings& settings, QWidget* parent = nullptr);
    ~Page3() override;

    // The boxes whose check mark says the opposite of the stored flag ("Disable ...",
    // "Stretch ...").
    static bool isInverted(const QString& valueName);
    // Whether a box shows checked for a stored text, and what a box stores.
    static bool checkedFor(const QString& valueName, const QString& storedText);
    static QString storedFor(const QString& valueName, bool checked);

    // The values "Save and Close" writes, in the order it writes them.
    QList<std::pair<QString, QString>> valuesToSave() const;
    // The values of HTTPS and streams, written after those: "keylogfile", "streamvariant",
    // "keylogeverywhere" (whose environment file is written or removed on saving).
    QList<std::pair<QString, QString>> encryptedValuesToSave() const;
    QLineEdit* keyLogEdit() const { return m_keyLog; }
    QComboBox* streamVariantList() const { return m_streamVariant; }
    // Writes or removes the environment file of "keylogeverywhere"; the desktop's, by default.
    std::function<bool(bool on, QString& error)> applyEnvironment;

    // The check box of a stored value (nullptr for "volume" and unknown names).
    QCheckBox* box(const QString& valueName) const;
    QSlider* volumeSlider() const { return m_volume; }
    QString volumeText() const;
    QString rangeText() const;

public slots:
    void restoreDefaults();
    void saveAndClose();

private:
    QGroupBox* buildVideoGroup();
    QGroupBox* buildMusicGroup();
    QGroupBox* buildPlayerGroup();
    QGroupBox* buildUsabilityGroup();
    QGroupBox* buildEncryptedGroup();
    QCheckBox* addBox(const QString& valueName, const QString& caption);
    QGridLayout*
    addBoxGrid(std::span<const std::pair<const char*, const char*>> boxes, int columns, QList<QCheckBox*>& added);
    void showValues(const std::function<QString(const QString&)>& textOf);
    void applyAmplifier(bool on);
    void updateEnabling();

    Settings& m_settings;
    QHash<QString, QCheckBox*> m_boxes;
    QList<QCheckBox*> m_formatBoxes;
    QList<QCheckBox*> m_browserBoxes;
    QSlider* m_volume = nullptr;
    QLabel* m_volumeLabel = nullptr;
    QLabel* m_rangeLabel = nullptr;
    QLineEdit* m_keyLog = nullptr;
    QComboBox* m_streamVariant = nullptr;
};
