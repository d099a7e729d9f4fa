#pragma once

#include "settings/inifile.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

// Keeps a window's chosen properties in the settings file: restore when the
// window is shown, save when it closes (and at destruction if not saved since
// the last restore). The section is the window's class name; each key is the
// component name, "_" and the property name ("RxSpinEdit1_Value").
class TFormStorage : public QObject
{
    Q_OBJECT
public:
    // `stored` lists "Component.Property" entries in order. The main window
    // stores version 2 and its placement; the device windows version 0 and no placement.
    TFormStorage(QWidget *form, int version, QStringList stored, bool storePlacement);
    ~TFormStorage() override;

    // The settings file every store uses; IniFile::defaultPath() unless set.
    static QString filePath();
    static void setFilePath(const QString &path);

    void restore();
    // EIniWriteError when the file cannot be written; callers show it and close anyway.
    void save();
    bool isRestored() const { return m_restored; }

    // Text form of a stored value: integers in decimal, reals shortest with "." ("300", "0.8").
    static QString encodeValue(const QVariant &value);

private:
    void restorePlacement(const IniFile &ini);
    void savePlacement(IniFile::Entries &entries) const;

    QWidget *m_form;
    int m_version;
    QStringList m_stored;
    bool m_storePlacement;
    bool m_restored = false;
    bool m_saved = false;
};
