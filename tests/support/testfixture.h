#pragma once

#include "settings/formstorage.h"
#include "support/scripteddialogs.h"

#include <QDir>
#include <QTemporaryDir>
#include <QWidget>

// A window's component by its design name; the test run stops when there is none,
// since every later step would only fail on a null pointer.
template <typename T>
T *component(const QWidget *window, const QString &name)
{
    T *found = window->findChild<T *>(name);
    if (!found)
        qFatal("no component %s", qPrintable(name));
    return found;
}

// What a suite that opens windows needs for each test, made in init() and
// checked in cleanup(): a settings file and a working folder of the test's own
// (so nothing of the user's is read or written, and a report lands in the
// test's folder), and strict dialogs.
//
//     void init() { m_fixture = std::make_unique<TestFixture>(); }
//     void cleanup() { QVERIFY2(m_fixture->clean(), m_fixture->report()); m_fixture.reset(); }
class TestFixture
{
public:
    TestFixture() : m_previousFolder(QDir::currentPath())
    {
        TFormStorage::setFilePath(path(QStringLiteral("OrvekConfigurator.ini")));
        QDir::setCurrent(m_dir.path());
        m_settingsPath = TFormStorage::filePath();
        latest() = this;
    }
    // Undoes what it did unless a successor has taken over: a fixture left behind
    // by a failed check may die after the next one was made.
    ~TestFixture()
    {
        if (latest() != this)
            return;
        latest() = nullptr;
        QDir::setCurrent(m_previousFolder);
        TFormStorage::setFilePath(QString());
    }
    TestFixture(const TestFixture &) = delete;
    TestFixture &operator=(const TestFixture &) = delete;

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString settingsPath() const { return m_settingsPath; }

    bool clean() const { return dialogs.problems().isEmpty(); }
    // For QVERIFY2: what went wrong with the dialogs.
    const char *report()
    {
        m_report = dialogs.problems().join(QLatin1Char('\n')).toLocal8Bit();
        return m_report.constData();
    }

    ScriptedDialogs dialogs;

private:
    static TestFixture *&latest()
    {
        static TestFixture *fixture = nullptr;
        return fixture;
    }

    QTemporaryDir m_dir;
    QString m_previousFolder;
    QString m_settingsPath;
    QByteArray m_report;
};
