#include "camera/FrameAssembler.h"

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>
#include <QTest>

#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Messages = QList<QByteArray>;

constexpr int kNoTerminator = -1;

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

// count bytes 1..250 in a repeating pattern, so that truncation shows which bytes were kept.
QByteArray pattern(int count, int offset = 0)
{
    QByteArray out(count, '\0');
    for (int i = 0; i < count; ++i)
        out[i] = static_cast<char>(1 + (i + offset) % 250);
    return out;
}

struct Collector
{
    FrameAssembler assembler;
    Messages messages;

    explicit Collector(int terminator)
    {
        assembler.setReceiver([this](const std::string &m) {
            messages.append(QByteArray(m.data(), qsizetype(m.size())));
        });
        if (terminator != kNoTerminator)
            assembler.setTerminator(static_cast<std::uint8_t>(terminator));
    }
    void feed(const QByteArray &b) { assembler.feed(std::string_view(b.constData(), b.size())); }
};

// The byte rules applied naively, one byte at a time; the assembler must agree with it.
Messages referenceMessages(const QByteArray &stream, std::uint8_t terminator)
{
    Messages out;
    std::deque<char> message;
    bool collecting = false;
    for (char c : stream) {
        if (c == '\0')
            c = ' ';
        if (!collecting) {
            message.assign(1, c);
            collecting = true;
        } else if (static_cast<std::uint8_t>(c) == terminator) {
            out.append(QByteArray(std::string(message.begin(), message.end()).c_str(),
                                  qsizetype(message.size())));
            message.clear();
            collecting = false;
        } else {
            message.push_back(c);
            if (message.size() > FrameAssembler::kMaxMessage)
                message.pop_front();
        }
    }
    return out;
}

} // namespace

class TestFrameAssembler : public QObject
{
    Q_OBJECT

private slots:
    void cutsStream_data();
    void cutsStream();
    void matchesByteRulesWhateverTheBatches();
    void stateSurvivesRearming();
    void receiverErrorsAreReportedAndAssemblyCarriesOn();
    void feedFromInsideDeliveryKeepsOrder();
};

void TestFrameAssembler::cutsStream_data()
{
    QTest::addColumn<int>("terminator");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<Messages>("expected");
    QTest::addColumn<QByteArray>("pending"); // the partial message left at the end

    const QByteArray frameA = pattern(15744);
    const QByteArray frameB = pattern(15744, 7);
    const QByteArray long20000 = pattern(20000);

    QTest::newRow("two bytes") << 0xFF << bytes({0x10, 0x20, 0xFF})
                               << Messages {bytes({0x10, 0x20})} << QByteArray();
    QTest::newRow("zero becomes space")
        << 0xFF << bytes({0x00, 0x41, 0xFF}) << Messages {bytes({0x20, 0x41})} << QByteArray();
    QTest::newRow("terminator opens a message when waiting")
        << 0xFF << bytes({0xFF, 0xFF, 0xFF}) << Messages {bytes({0xFF})} << bytes({0xFF});
    QTest::newRow("20000 bytes keep the last 16384")
        << 0xFF << long20000 + bytes({0xFF}) << Messages {long20000.right(16384)} << QByteArray();
    QTest::newRow("exactly 16384 bytes kept whole")
        << 0xFF << pattern(16384) + bytes({0xFF}) << Messages {pattern(16384)} << QByteArray();
    QTest::newRow("16385 bytes lose the first") << 0xFF << pattern(16385) + bytes({0xFF})
                                                << Messages {pattern(16385).mid(1)} << QByteArray();
    QTest::newRow("two frames in one batch, in order")
        << 0xFF << frameA + bytes({0xFF}) + frameB + bytes({0xFF}) << Messages {frameA, frameB}
        << QByteArray();
    QTest::newRow("partial message stays pending")
        << 0xFF << bytes({0x41, 0xFF, 0x42, 0x00}) << Messages {bytes({0x41})}
        << bytes({0x42, 0x20});
    QTest::newRow("nothing ends a message before a terminator is set")
        << kNoTerminator << bytes({0x41, 0xFF, 0x42}) << Messages {} << bytes({0x41, 0xFF, 0x42});
    QTest::newRow("a 0x20 terminator also ends on 0x00")
        << 0x20 << bytes({0x41, 0x00, 0x42, 0x20}) << Messages {bytes({0x41}), bytes({0x42})}
        << QByteArray();
}

void TestFrameAssembler::cutsStream()
{
    QFETCH(int, terminator);
    QFETCH(QByteArray, stream);
    QFETCH(Messages, expected);
    QFETCH(QByteArray, pending);

    // Batch boundaries must not matter: one batch and one byte at a time give the same result.
    Collector whole(terminator);
    whole.feed(stream);
    QCOMPARE(whole.messages, expected);
    QCOMPARE(whole.assembler.pendingSize(), std::size_t(pending.size()));
    QCOMPARE(whole.assembler.collecting(), !pending.isEmpty());

    Collector single(terminator);
    for (char c : stream)
        single.feed(QByteArray(1, c));
    QCOMPARE(single.messages, expected);

    // The pending bytes are the ones a terminator would deliver now.
    if (!pending.isEmpty() && terminator != kNoTerminator) {
        whole.feed(QByteArray(1, static_cast<char>(terminator)));
        QCOMPARE(whole.messages.last(), pending);
    }
}

void TestFrameAssembler::matchesByteRulesWhateverTheBatches()
{
    // Random streams, rich in 0x00 and 0xFF and with runs far past the length limit, cut into
    // random batches.
    QRandomGenerator rng(20231211);
    for (int round = 0; round < 20; ++round) {
        QByteArray stream;
        while (stream.size() < 120000) {
            const int run = rng.bounded(2) ? rng.bounded(40) : rng.bounded(40000);
            for (int i = 0; i < run; ++i) {
                const quint32 r = rng.bounded(10);
                stream.append(r == 0 ? '\0' : static_cast<char>(rng.bounded(1, 255)));
            }
            const int terminators = rng.bounded(3);
            stream.append(QByteArray(terminators, '\xFF'));
        }

        Collector c(0xFF);
        for (qsizetype at = 0; at < stream.size();) {
            const qsizetype n = std::min<qsizetype>(stream.size() - at, rng.bounded(1, 50000));
            c.feed(stream.mid(at, n));
            at += n;
        }
        QCOMPARE(c.messages, referenceMessages(stream, 0xFF));
    }
}

void TestFrameAssembler::stateSurvivesRearming()
{
    // Closing and reopening the port sets the terminator again; the partial frame goes on.
    Collector c(0xFF);
    c.feed("AB");
    c.assembler.setTerminator(0xFF);
    c.feed("C\xFF");
    QCOMPARE(c.messages, Messages {"ABC"});
}

void TestFrameAssembler::receiverErrorsAreReportedAndAssemblyCarriesOn()
{
    FrameAssembler assembler;
    assembler.setTerminator(0xFF);
    QStringList errors;
    Messages delivered;
    assembler.setErrorSink(
        [&](const std::string &what) { errors.append(QString::fromStdString(what)); });
    assembler.setReceiver([&](const std::string &m) {
        delivered.append(QByteArray(m.data(), qsizetype(m.size())));
        if (m == "boom")
            throw std::runtime_error("disk full");
        if (m == "odd")
            throw 42;
    });

    // Both failures sit in the middle of one batch; the frames after them still arrive.
    const QByteArray batch("boom\xFFodd\xFFgood\xFF");
    assembler.feed(std::string_view(batch.constData(), batch.size()));

    QCOMPARE(delivered, (Messages {"boom", "odd", "good"}));
    QCOMPARE(errors, (QStringList {"disk full", QString()}));
    QVERIFY(!assembler.collecting());
}

void TestFrameAssembler::feedFromInsideDeliveryKeepsOrder()
{
    // A receiver that lets pending events run can cause a nested feed of newer bytes; those
    // must come after the rest of the batch being processed.
    FrameAssembler assembler;
    assembler.setTerminator(0xFF);
    Messages delivered;
    bool nested = false;
    assembler.setReceiver([&](const std::string &m) {
        delivered.append(QByteArray(m.data(), qsizetype(m.size())));
        if (!nested) {
            nested = true;
            assembler.feed(std::string_view("X\xFF"));
        }
    });
    assembler.feed(std::string_view("A\xFF"
                                    "B\xFF"));
    QCOMPARE(delivered, (Messages {"A", "B", "X"}));
}

QTEST_APPLESS_MAIN(TestFrameAssembler)
#include "tst_frameassembler.moc"
