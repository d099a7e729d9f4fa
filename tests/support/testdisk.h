#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <functional>
#include <memory>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

// A folder on a disk that runs full or turns read-only on request, for tests of
// writes that fail half way.
//
// Tmpfs: a 64 KiB tmpfs mounted on the folder in a private mount namespace of
// this test thread, so a full disk answers ENOSPC and a read-only one EROFS, for
// root too. It needs root and a kernel that allows the namespace; elsewhere the
// disk is a plain folder and "full" is emulated with the file-size limit
// (RLIMIT_FSIZE, SIGXFSZ ignored): writes past it fail with EFBIG.
class TestDisk
{
public:
    enum Mode { Tmpfs, SizeLimit };

    explicit TestDisk(Mode wanted = Tmpfs)
        : m_dir(std::make_unique<QTemporaryDir>())
    {
        if (wanted == Tmpfs && privateMounts()
            && ::mount("tmpfs", QFile::encodeName(m_dir->path()).constData(), "tmpfs", 0, "size=64k") == 0)
            m_mode = Tmpfs;
    }
    ~TestDisk()
    {
        if (m_mode == Tmpfs)
            ::umount2(QFile::encodeName(m_dir->path()).constData(), MNT_DETACH);
        if (m_restorePermissions) // so the folder can be removed
            QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    TestDisk(const TestDisk &) = delete;
    TestDisk &operator=(const TestDisk &) = delete;

    Mode mode() const { return m_mode; }
    QString path() const { return m_dir->path(); }
    QString filePath(const QString &name) const { return m_dir->filePath(name); }
    // What a write on the full disk fails with.
    int fullError() const { return m_mode == Tmpfs ? ENOSPC : EFBIG; }

    // Runs `action` with the disk full. The tmpfs is filled to its last byte and
    // stays full; the size limit (16 bytes, so a write stops half way) is in force
    // during `action` only, since it binds every file this process writes.
    void whileFull(const std::function<void()> &action)
    {
        if (m_mode == Tmpfs) {
            fill();
            action();
            return;
        }
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 16;
        setrlimit(RLIMIT_FSIZE, &small);
        action();
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
    }

    // Makes the folder refuse every write: a read-only remount of the tmpfs, else
    // the folder's permission bits, which bind all but root. False when neither
    // binds here (root without the tmpfs).
    bool makeReadOnly()
    {
        if (m_mode == Tmpfs)
            return ::mount(nullptr, QFile::encodeName(path()).constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                           "size=64k")
                == 0;
        if (geteuid() == 0)
            return false;
        m_restorePermissions = true;
        return QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }

    // The folder's files (hidden ones too), to show that a failed write left no debris.
    QStringList files() const
    {
        QStringList names = QDir(path()).entryList(QDir::Files | QDir::Hidden);
        names.removeAll(QStringLiteral(".filler"));
        return names;
    }

private:
    // One private namespace for the test thread, mounts kept from the rest of the system.
    static bool privateMounts()
    {
        static const bool ok = geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0
            && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        return ok;
    }

    void fill()
    {
        QFile filler(filePath(QStringLiteral(".filler")));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return;
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
        // The last page or so, byte by byte.
        while (filler.write("f", 1) == 1) {
        }
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    Mode m_mode = SizeLimit;
    bool m_restorePermissions = false;
};
