#pragma once

#include "meter/set4tm_wire.h"
#include "meter/setmain.h"
#include "settings/formstorage.h"
#include "sim/meter/set4tm_device.h"
#include "support/simrig.h"
#include "support/testfixture.h"
#include "widgets/rxspinedit.h"

#include <QLabel>
#include <QTimer>
#include <QtTest>

#include <initializer_list>
#include <memory>

// The meter window on an in-process bus, driven handler by handler: the settings
// read, each action, each tick of the test. Frames are compared with the
// bit-wise CRC of set4tm_wire.h.
namespace set4tmtest {

const QString NoAnswer = QStringLiteral("Устройство не отвечает на запросы:\r1. Проверьте питание и схему подключения "
                                        "устройства;\r2. Повторите поиск устройства.");
const QString Finished = QStringLiteral("Тест завершен!\rРезультаты теста содержатся в журнале ошибок.");
const QString AddressNotRead = QStringLiteral("Сетевой адрес счетчика не прочитан.\rПовторите поиск устройства.");
const QString ValueNotRead = QStringLiteral("Текущее значение не прочитано из счетчика.\rПовторите поиск устройства.");
// The open-channel request to address 5 with the password the window proposes.
constexpr const char *OpenAt5 = "0501363439323833";

inline QString codeMessage(const char *status)
{
    return QStringLiteral("Недопустимая команда или параметр!\r\nКод ошибки: ") + QLatin1String(status);
}

// Request bodies in hex, as they go on the wire with their CRC.
inline QList<QByteArray> onWire(std::initializer_list<const char *> bodies)
{
    QList<QByteArray> frames;
    for (const char *body : bodies)
        frames << wireHex(body);
    return frames;
}

// The simulated meter, with answers of the test's own for chosen requests.
class ScriptedMeter : public sim::Set4tmDevice
{
public:
    using Set4tmDevice::Set4tmDevice;

    // A request whose bytes after the address start with `prefixHex` is answered
    // with the address and `payloadHex` instead of what the meter would say.
    void reply(const char *prefixHex, const char *payloadHex)
    {
        m_replies.append({QByteArray::fromHex(prefixHex), QByteArray::fromHex(payloadHex)});
    }

    // A request starting with these bytes (address included) gets no answer.
    QByteArray dropWhen;

    std::optional<QByteArray> handle(const QByteArray &request, qint64 nowMs) override
    {
        if (!dropWhen.isEmpty() && request.startsWith(dropWhen))
            return std::nullopt;
        const int target = request.isEmpty() ? -1 : static_cast<std::uint8_t>(request.at(0));
        if (target == address() || target == 0) {
            for (const auto &[prefix, payload] : m_replies)
                if (request.mid(1).startsWith(prefix))
                    return QByteArray(1, static_cast<char>(address())) + payload;
        }
        return Set4tmDevice::handle(request, nowMs);
    }

private:
    QList<QPair<QByteArray, QByteArray>> m_replies;
};

// A frozen meter at address 5 (password 649283, Ku = Ki = 1, T = 30, clock at
// 08.12.2026 14:07) and the window's host, with the fixture's dialogs.
class MeterRig
{
public:
    explicit MeterRig(ScriptedDialogs &dialogs) : dialogs(dialogs)
    {
        // Exchanges wait 120 ms instead of 350: the simulated line answers within a few.
        IniFile(TFormStorage::filePath())
            .WriteString(QStringLiteral("TFSET4TM"), QStringLiteral("TimerSetting_Interval"), QStringLiteral("120"));
        meter = static_cast<ScriptedMeter *>(host.bus.addDevice(std::make_unique<ScriptedMeter>(5)));
        meter->live = false;
        meter->password = QByteArrayLiteral("649283");
        meter->setClock(QDateTime(QDate(2026, 12, 8), QTime(14, 7), Qt::UTC), host.bus.nowUs() / 1000);
        host.comm.Open();
    }

    // Opens the window; the password box gets `password` (nothing: Cancel, which
    // keeps the proposed text). The settings read is left to readSettings().
    void open(std::optional<QString> password = std::nullopt)
    {
        dialogs.answerInput(std::move(password));
        window = std::make_unique<TFSET4TM>(host, nullptr);
        window->show();
        child<QTimer>("TimerSetting")->stop();
    }
    void openAndRead()
    {
        open();
        window->TimerSettingTimer();
    }

    // Starts a test and takes its timer over, so each tick runs when the test says.
    void startManual(int count = 50)
    {
        child<TRxSpinEdit>("RxSpinEditCount")->setValue(count);
        window->BitBtnStartClick();
        child<QTimer>("TimerTest")->stop();
    }
    // One request of the cycle and the evaluation of its answer of `length` bytes.
    [[nodiscard]] bool exchange(int length) { return host.exchange(*window, length); }
    // Steps 1 to 12 of the cycle, all answered.
    [[nodiscard]] bool valueSteps()
    {
        for (int length : {19, 19, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6})
            if (!exchange(length))
                return false;
        return true;
    }

    template <typename T>
    T *child(const char *name)
    {
        return component<T>(window.get(), QString::fromLatin1(name));
    }
    QString text(const char *name) { return child<QLabel>(name)->text(); }
    // The current value fields: address, baud rate, Ku, Ki, integration time, slices.
    QStringList settingFields()
    {
        QStringList shown;
        for (const char *name : {"StaticTextAddr", "StaticTextBaud", "StaticTextKu", "StaticTextKi", "StaticTextPower",
                                 "StaticTextTrend"})
            shown << text(name);
        return shown;
    }

    ScriptedDialogs &dialogs;
    SimHost host;
    ScriptedMeter *meter = nullptr;
    std::unique_ptr<TFSET4TM> window;
};

} // namespace set4tmtest
