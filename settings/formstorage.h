#pragma once

#include "settings/inifile.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <limits>
#include <vector>

class QWidget;

// Keeps a window's chosen properties in the settings file: restore when the
// window is shown, save when it closes (and at destruction if not saved since
// the last restore). The section is the window's class name; each key is the
// component name, "_" and the property name ("RxSpinEdit1_Value").
//
// A stored value is set only if the control takes it as it is: within
// [MinX, MaxX] for a property X of a control that has both (a spin editor's
// Value; both 0 is its "no range"), one of the Items for an ItemIndex, not
// negative for a timer's interval, within the property's type. Anything else
// leaves the property at its value before the restore, as a real that does not
// parse does; an integer that does not parse reads as 0, where 0 is taken.
class TFormStorage : public QObject
{
    Q_OBJECT
public:
    // `stored` lists "Component.Property" entries in order. The main window
    // stores version 2 and its placement; the device windows version 0 and no placement.
    // The store is a child of `form` and follows its events by itself: restore
    // when shown, save when hidden after a close, and save when destroyed if not
    // saved since the last restore. The store shows nothing: a save of its own
    // that fails raises saveFailed for the window to show at its edge (one at
    // destruction only goes to the log), and the window closes all the same. Create it before the stored components: children die in
    // creation order, and the save at destruction needs them alive.
    TFormStorage(QWidget *form, int version, QStringList stored, bool storePlacement);
    ~TFormStorage() override;

    // The settings file every store uses; IniFile::defaultPath() unless set.
    static QString filePath();
    static void setFilePath(const QString &path);

    // Windows may also call these from their own show and close handlers: a
    // second restore sets the same values again, and the store's own save at
    // hide or destruction is skipped after a save (or a failed one) since the
    // last restore.
    void restore();
    // EIniWriteError when the file cannot be written; callers show it and close
    // anyway. Nothing happens before the first restore.
    void save();
    bool isRestored() const { return m_restored; }
    // True when the last restore moved the window to its stored position, so a
    // window that centres itself must not do it again.
    bool placementApplied() const { return m_placementApplied; }
    // The section: the window's class name, taken when first restored.
    QString section() const;

    // Text form of a stored value: integers in decimal, reals shortest with "." ("300", "0.8").
    static QString encodeValue(const QVariant &value);

signals:
    // "Unable to write to <file>" from a save the store made by itself.
    void saveFailed(const QString &message);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Target
    {
        QString key; // "Component_Property"
        QPointer<QObject> object;
        QByteArray property; // Qt's property name
        // The values the control takes, taken before the restore: the coupled
        // address editors narrow each other's bounds while they are restored.
        double low = -std::numeric_limits<double>::infinity();
        double high = std::numeric_limits<double>::infinity();
    };

    void resolveTargets();
    static void takeLimits(Target &target);
    void restoreProperty(const IniFile::Entries &entries, const Target &target);
    void restorePlacement(const IniFile::Entries &entries);
    void savePlacement(IniFile::Entries &entries, bool destroying) const;
    bool formDestroying() const;
    void saveReporting();

    QWidget *m_form;
    int m_version;
    QStringList m_stored;
    bool m_storePlacement;
    bool m_restored = false;
    bool m_saved = false;
    bool m_placementApplied = false;
    bool m_destroying = false;
    mutable QString m_section;
    const QMetaObject *m_formMeta = nullptr; // the window's class, to tell when it is being destroyed
    std::vector<Target> m_targets;
};
