#include "settings/formstorage.h"

#include <QDebug>

#include <QEvent>
#include <QGuiApplication>
#include <QLocale>
#include <QMetaProperty>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cmath>

namespace {

QString g_filePath;

// First entry of `entries` whose key matches without regard to case.
const QString *findEntry(const IniFile::Entries &entries, const QString &key)
{
    for (const auto &entry : entries)
        if (entry.first.compare(key, Qt::CaseInsensitive) == 0)
            return &entry.second;
    return nullptr;
}

QScreen *screenOf(const QWidget *form)
{
    QScreen *screen = form ? form->screen() : nullptr;
    return screen ? screen : QGuiApplication::primaryScreen();
}

int currentPixelsPerInch(const QWidget *form)
{
    const QScreen *screen = screenOf(form);
    return screen ? qRound(screen->logicalDotsPerInch()) : 96;
}

// "(1920x1080)": keys with it belong to one screen resolution.
QString resolutionSuffix()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize size = screen ? screen->geometry().size() : QSize();
    return QStringLiteral("(%1x%2)").arg(size.width()).arg(size.height());
}

// Four comma-separated integers; a missing or broken part keeps its default.
std::array<int, 4> parseFour(const QString &text, std::array<int, 4> values)
{
    const QStringList parts = text.split(QLatin1Char(','));
    for (int i = 0; i < 4 && i < parts.size(); ++i) {
        bool ok = false;
        const int n = parts.at(i).trimmed().toInt(&ok);
        if (ok)
            values[static_cast<size_t>(i)] = n;
    }
    return values;
}

QString joinFour(int a, int b, int c, int d)
{
    return QStringLiteral("%1,%2,%3,%4").arg(a).arg(b).arg(c).arg(d);
}

bool isIntegerType(int id)
{
    switch (id) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

// "-12", "+7", "99999999999": an integer, however large.
bool isIntegerText(const QString &text)
{
    const int sign = text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+')) ? 1 : 0;
    if (text.size() <= sign)
        return false;
    for (int i = sign; i < text.size(); ++i)
        if (text.at(i) < QLatin1Char('0') || text.at(i) > QLatin1Char('9'))
            return false;
    return true;
}

} // namespace

TFormStorage::TFormStorage(QWidget *form, int version, QStringList stored, bool storePlacement)
    : QObject(form)
    , m_form(form)
    , m_version(version)
    , m_stored(std::move(stored))
    , m_storePlacement(storePlacement)
{
    if (m_form)
        m_form->installEventFilter(this);
}

TFormStorage::~TFormStorage()
{
    if (m_restored && !m_saved) {
        m_destroying = true;
        saveReporting();
    }
}

QString TFormStorage::filePath()
{
    return g_filePath.isEmpty() ? IniFile::defaultPath() : g_filePath;
}

void TFormStorage::setFilePath(const QString &path)
{
    g_filePath = path;
}

QString TFormStorage::section() const
{
    if (m_section.isEmpty() && m_form)
        m_section = QString::fromLatin1(m_form->metaObject()->className());
    return m_section;
}

bool TFormStorage::formDestroying() const
{
    // While ~QWidget runs, the window's own class is already gone from its meta-object.
    return m_destroying || (m_formMeta && m_form->metaObject() != m_formMeta);
}

bool TFormStorage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_form && !event->spontaneous()) {
        if (event->type() == QEvent::Show)
            restore();
        else if (event->type() == QEvent::Hide && m_restored && !m_saved)
            saveReporting();
    }
    return QObject::eventFilter(watched, event);
}

void TFormStorage::resolveTargets()
{
    m_targets.clear();
    for (const QString &entry : m_stored) {
        const int dot = entry.indexOf(QLatin1Char('.'));
        if (dot <= 0)
            continue;
        const QString component = entry.left(dot);
        const QString property = entry.mid(dot + 1);
        Target target{component + QLatin1Char('_') + property, nullptr, property.toLatin1()};
        QObject *object = component == m_form->objectName() ? m_form : m_form->findChild<QObject *>(component);
        if (object) {
            // Qt names its own properties in lower camel case ("Interval" is a timer's "interval").
            const QMetaObject *meta = object->metaObject();
            if (meta->indexOfProperty(target.property.constData()) < 0 && !target.property.isEmpty()) {
                QByteArray lower = target.property;
                lower[0] = static_cast<char>(QChar::toLower(static_cast<char16_t>(lower[0])));
                if (meta->indexOfProperty(lower.constData()) >= 0)
                    target.property = lower;
            }
            if (meta->indexOfProperty(target.property.constData()) >= 0) {
                target.object = object;
                takeLimits(target);
            }
        }
        m_targets.push_back(target);
    }
}

void TFormStorage::takeLimits(Target &target)
{
    const QObject *object = target.object;
    const QMetaObject *meta = object->metaObject();
    const QMetaProperty property = meta->property(meta->indexOfProperty(target.property.constData()));
    switch (property.metaType().id()) {
    case QMetaType::Int:
        target.low = std::numeric_limits<int>::min();
        target.high = std::numeric_limits<int>::max();
        break;
    case QMetaType::UInt:
        target.low = 0;
        target.high = std::numeric_limits<unsigned>::max();
        break;
    default:
        break;
    }
    // MinValue and MaxValue bound a spin editor's Value; both 0 is its "no range".
    const QVariant min = object->property(("Min" + target.property).constData());
    const QVariant max = object->property(("Max" + target.property).constData());
    if (min.canConvert<double>() && max.canConvert<double>() && (min.toDouble() != 0 || max.toDouble() != 0)) {
        target.low = qMax(target.low, min.toDouble());
        target.high = qMin(target.high, max.toDouble());
    }
    const QVariant items = object->property("Items");
    if (target.property == "ItemIndex" && items.canConvert<QStringList>()) {
        target.low = 0;
        target.high = static_cast<double>(items.toStringList().size()) - 1;
    }
    // Qt refuses to run a timer with a negative interval.
    if (qobject_cast<const QTimer *>(object) && target.property == "interval")
        target.low = qMax(target.low, 0.0);
}

void TFormStorage::restore()
{
    if (!m_form)
        return;
    m_formMeta = m_form->metaObject();
    m_section = QString::fromLatin1(m_formMeta->className());
    resolveTargets();
    m_placementApplied = false;

    const IniFile::Entries entries = IniFile(filePath()).ReadSection(section());
    bool ok = false;
    const QString *versionText = findEntry(entries, QStringLiteral("FormVersion"));
    int version = versionText ? versionText->toInt(&ok) : 0;
    if (!ok)
        version = 0;
    if (version >= m_version) {
        if (m_storePlacement && m_form->isWindow())
            restorePlacement(entries);
        for (const Target &target : m_targets)
            restoreProperty(entries, target);
    }
    m_restored = true;
    m_saved = false;
}

void TFormStorage::restoreProperty(const IniFile::Entries &entries, const Target &target)
{
    const QString *stored = findEntry(entries, target.key);
    if (!stored || !target.object)
        return; // the design default stays
    const QString text = stored->trimmed();
    const QMetaObject *meta = target.object->metaObject();
    const QMetaProperty property = meta->property(meta->indexOfProperty(target.property.constData()));
    if (!property.isWritable())
        return;
    const int type = property.metaType().id();

    QVariant value;
    bool ok = false;
    if (isIntegerType(type) || property.isEnumType()) {
        qlonglong n = text.toLongLong(&ok, 10);
        if (!ok && isIntegerText(text))
            return; // a number, too large for any control
        if (!ok)
            n = 0;
        if (static_cast<double>(n) < target.low || static_cast<double>(n) > target.high)
            return; // not taken: the value before the restore stays
        value = QVariant::fromValue(n);
    } else if (type == QMetaType::Double || type == QMetaType::Float) {
        QLocale locale;
        locale.setNumberOptions(QLocale::RejectGroupSeparator);
        QString localised = text;
        localised.replace(QLatin1Char('.'), locale.decimalPoint());
        const double d = locale.toDouble(localised, &ok);
        if (!ok || !std::isfinite(d) || d < target.low || d > target.high)
            return; // keeps its current value
        value = d;
    } else {
        value = text;
    }
    if (!value.convert(property.metaType()))
        return;
    try {
        property.write(target.object, value);
    } catch (const std::exception &) {
        // A setter that refuses the value affects only its own property.
    }
}

void TFormStorage::restorePlacement(const IniFile::Entries &entries)
{
    const QString suffix = resolutionSuffix();
    bool positionFound = false;
    const auto readPosition = [&](const QString &name) -> QString {
        const QString *value = findEntry(entries, name + suffix);
        if (!value)
            value = findEntry(entries, name);
        if (!value)
            return {};
        positionFound = true;
        return *value;
    };
    const auto readInt = [&](const QString &name, int fallback) {
        const QString *value = findEntry(entries, name);
        bool ok = false;
        const int n = value ? value->toInt(&ok) : fallback;
        return ok ? n : fallback;
    };

    // Counts as a position key; Qt has no minimised or maximised positions to apply.
    readPosition(QStringLiteral("MinMaxPos"));
    const QRect frame = m_form->frameGeometry();
    const auto norm = parseFour(readPosition(QStringLiteral("NormPos")),
                                {frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height()});
    const int currentPpi = currentPixelsPerInch(m_form);
    const bool fixedSize = m_form->minimumSize() == m_form->maximumSize();

    if (positionFound && readInt(QStringLiteral("PixelsPerInch"), currentPpi) == currentPpi) {
        const int left = norm[0];
        const int top = norm[1];
        const int right = norm[2];
        // Only the position is taken: the window keeps its designed size.
        const QRect target(left, top, frame.width(), frame.height());
        bool onScreen = false;
        for (const QScreen *screen : QGuiApplication::screens())
            onScreen = onScreen || screen->availableGeometry().intersects(target);
        if (left < right && onScreen) {
            m_form->move(left, top);
            m_placementApplied = true;
        }
    }

    Qt::WindowStates state = m_form->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    switch (readInt(QStringLiteral("ShowCmd"), 0)) {
    case 2:
    case 6:
    case 7:
        state |= Qt::WindowMinimized;
        break;
    case 3:
        if (!fixedSize)
            state |= Qt::WindowMaximized;
        break;
    default:
        break;
    }
    m_form->setWindowState(state);
}

void TFormStorage::savePlacement(IniFile::Entries &entries, bool destroying) const
{
    const Qt::WindowStates state = m_form->windowState();
    const bool minimized = state & Qt::WindowMinimized;
    const bool maximized = state & Qt::WindowMaximized;
    // The normal rectangle, frame included, also while minimised or maximised.
    QRect normal = m_form->frameGeometry();
    if ((minimized || maximized) && m_form->normalGeometry().isValid()) {
        const QRect client = m_form->geometry();
        const QMargins frame(client.left() - normal.left(), client.top() - normal.top(),
                             normal.right() - client.right(), normal.bottom() - client.bottom());
        normal = m_form->normalGeometry().marginsAdded(frame);
    }
    const QString suffix = resolutionSuffix();
    const QString none = joinFour(-1, -1, -1, -1);
    const QString normPos = joinFour(normal.left(), normal.top(), normal.left() + normal.width(),
                                     normal.top() + normal.height());
    entries.emplace_back(QStringLiteral("Flags"), QString::number(minimized && maximized ? 2 : 0));
    entries.emplace_back(QStringLiteral("ShowCmd"), QString::number(minimized ? 2 : maximized ? 3 : 1));
    entries.emplace_back(QStringLiteral("PixelsPerInch"), QString::number(currentPixelsPerInch(m_form)));
    entries.emplace_back(QStringLiteral("MinMaxPos") + suffix, none);
    entries.emplace_back(QStringLiteral("MinMaxPos"), none);
    entries.emplace_back(QStringLiteral("NormPos") + suffix, normPos);
    entries.emplace_back(QStringLiteral("NormPos"), normPos);
    entries.emplace_back(QStringLiteral("Visible"), QString::number(destroying ? 1 : 0));
}

void TFormStorage::save()
{
    if (!m_restored || !m_form)
        return;
    IniFile::Entries entries;
    entries.emplace_back(QStringLiteral("FormVersion"), QString::number(m_version));
    if (m_storePlacement && m_form->isWindow())
        savePlacement(entries, formDestroying());
    for (const Target &target : m_targets)
        if (target.object)
            entries.emplace_back(target.key, encodeValue(target.object->property(target.property.constData())));
    // A failed write counts too: its error is shown once, not again at hide or destruction.
    m_saved = true;
    IniFile(filePath()).WriteStrings(section(), entries);
}

void TFormStorage::saveReporting()
{
    try {
        save();
    } catch (const std::exception &e) {
        // A window in destruction can no longer show anything: the text goes to the log.
        if (formDestroying())
            qWarning("%s", e.what());
        else
            emit saveFailed(QString::fromUtf8(e.what()));
    }
}

QString TFormStorage::encodeValue(const QVariant &value)
{
    const int type = value.metaType().id();
    switch (type) {
    case QMetaType::Double:
    case QMetaType::Float:
        return IniReal(value.toDouble());
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::ULongLong:
    case QMetaType::ULong:
        return QString::number(value.toULongLong());
    default:
        break;
    }
    if (isIntegerType(type) || (value.metaType().flags() & QMetaType::IsEnumeration))
        return QString::number(value.toLongLong());
    return value.toString();
}
