// CupsPrinterService against the private cupsd of scripts/cups-sandbox: its queues "Testdrucker"
// (the default) and "Zweitdrucker" store every job as $CUPS_SANDBOX_DIR/jobs/<queue>/<id>.pdf.
// By hand: eval "$(scripts/cups-sandbox start /tmp/sandbox)" && build/tests/tst_printerservice_cups

#include <csignal>
#include <optional>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include <cups/cups.h>

#include <QtTest>

#include "PdfTools.h"
#include "RecordingPrinterService.h"

#include "print/CupsPrinterService.h"

using namespace rasterblatt;
using namespace rasterblatt::testing;

// The description of the PrinterError that the operations throw; empty when they throw none.
template <typename Operations> QString errorOf(Operations operations)
{
    try {
        operations();
    } catch (const PrinterError& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

// A scheduler that takes connections and then never answers (as a stopped cupsd does) or
// hangs up at once (as a dying one does).
class FakeScheduler {
public:
    FakeScheduler(const QString& path, bool hangUp)
        : m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(m_fd, 64) != 0)
            qFatal("cannot listen on %s", qPrintable(path));
        if (hangUp)
            m_thread = std::thread([fd = m_fd] {
                for (int client; (client = ::accept(fd, nullptr, nullptr)) >= 0;) {
                    char request[512];
                    (void)::read(client, request, sizeof request);
                    ::close(client);
                }
            });
    }
    ~FakeScheduler()
    {
        ::shutdown(m_fd, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_fd);
    }

private:
    int m_fd;
    std::thread m_thread;
};

class TestPrinterServiceCups : public QObject {
    Q_OBJECT

    QString m_sandbox;
    QTemporaryDir m_home, m_temp;
    QString m_answer;
    int m_questions = 0;
    std::unique_ptr<CupsPrinterService> m_service;
    Printer* m_pdf = nullptr;
    QImage m_picture { 378, 282, QImage::Format_RGB32 };

    QString target() const { return m_home.filePath("Kontaktabzug.pdf"); }
    QStringList tempFiles() const { return QDir(m_temp.path()).entryList(QDir::Files | QDir::Hidden); }

    QStringList names()
    {
        QStringList result;
        for (Printer* printer : m_service->printers())
            result << printer->deviceName();
        return result;
    }

    Printer* printer(const QString& name) { return m_service->printers().at(names().indexOf(name)); }

    // A queue prints its jobs in order: once this page has arrived after the `before` jobs
    // expected, anything sent before it has too.
    void sendControlPage(Printer* queue, int before = 0)
    {
        queue->printLine("Kontrollseite");
        queue->endDoc();
        QStringList captured;
        (void)QTest::qWaitFor(
            [&] { return (captured = capturedJobs(m_sandbox, queue->deviceName())).size() > before; }, 20000);
        QCOMPARE(captured.size(), before + 1);
        QCOMPARE(pdfText(captured.constLast()).trimmed(), QString("Kontrollseite"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_sandbox = qEnvironmentVariable("CUPS_SANDBOX_DIR");
        m_picture.fill(Qt::red);
        // Before anything asks CUPS: the sandbox only, no personal default printer, temp files where we see them.
        qputenv("CUPS_SERVER", QString(m_sandbox + "/cups.sock").toUtf8());
        qputenv("HOME", m_home.path().toUtf8());
        qputenv("TMPDIR", m_temp.path().toUtf8());
        qputenv("LC_ALL", "C");
        qunsetenv("LPDEST");
        qunsetenv("PRINTER");
        QVERIFY2(runTool("lpstat", { "-r" }).output.trimmed() == "scheduler is running",
            qPrintable("no cupsd answers at CUPS_SANDBOX_DIR=" + m_sandbox));
        QVERIFY2(runTool("pdfinfo", { "-v" }).ok, "pdfinfo (poppler-utils) is needed");
        m_service = std::make_unique<CupsPrinterService>([this](const QString&) {
            ++m_questions;
            return m_answer;
        });
        m_pdf = printer("PDF-Datei");
        QCOMPARE(names(), QStringList({ "Testdrucker", "Zweitdrucker", "PDF-Datei" }));
        QCOMPARE(m_service->currentPrinter(), printer("Testdrucker"));
    }

    void init()
    {
        m_answer = target();
        m_questions = 0;
        QFile::remove(target());
        for (const QString& job : capturedJobs(m_sandbox, "Testdrucker") + capturedJobs(m_sandbox, "Zweitdrucker"))
            QVERIFY(QFile::remove(job));
    }

    void cleanup()
    {
        for (Printer* printer : m_service->printers())
            printer->killDoc();
        QVERIFY2(tempFiles().isEmpty(), qPrintable(tempFiles().join(' ')));
    }

    void documentIsOneJobWithItsPagesTextAndPicture()
    {
        Printer* second = printer("Zweitdrucker");
        second->setFontName("Arial");
        second->setFontSize(7);
        const double height = second->textHeight("ABC");
        const double width = second->textWidth("ABC");
        QVERIFY2(qAbs(height - 161) <= 2, qPrintable(QString::number(height)));
        QVERIFY2(width > 250 && width < 320, qPrintable(QString::number(width)));
        second->paintPicture(m_picture, 566.9, 283.5, 1461.9, 1096.4);
        second->setCurrentX(500);
        second->setCurrentY(1400);
        second->printLine("urlaub.jpg");
        QCOMPARE(second->currentX(), 0.0);
        QCOMPARE(second->currentY(), 1400 + height);
        second->newPage();
        QCOMPARE(second->currentY(), 0.0);
        second->printLine("zweite Seite");
        second->newPage();
        second->endDoc();

        sendControlPage(second, 1);
        const QStringList captured = capturedJobs(m_sandbox, "Zweitdrucker");
        QCOMPARE(pdfInfo(captured[0], "Pages"), QString("2"));
        const QString text = pdfText(captured[0]);
        QVERIFY2(text.contains("urlaub.jpg") && text.contains("zweite Seite"), qPrintable(text));
        const QString fonts = runTool("pdffonts", { captured[0] }).output;
        QVERIFY2(fonts.contains("LiberationSans"), qPrintable(fonts));
        const QString images = runTool("pdfimages", { "-list", captured[0] }).output;
        QVERIFY2(images.contains(QRegularExpression("\\n\\s*1\\s+\\d+\\s+image\\s+378\\s+282\\s")), qPrintable(images));
    }

    // p: paint a picture, n: new page, k: killDoc. A document without a page sends nothing;
    // the recording printer keeps the same rules.
    void pagesOfADocument_data()
    {
        QTest::addColumn<QString>("operations");
        QTest::addColumn<int>("pages");
        QTest::newRow("only page breaks") << "nn" << 0;
        QTest::newRow("two pages") << "pnp" << 2;
        QTest::newRow("trailing page break") << "ppn" << 1;
        QTest::newRow("break before the first drawing") << "np" << 1;
        QTest::newRow("breaks with nothing between") << "pnnnp" << 2;
        QTest::newRow("killed, then a new document") << "pnpkp" << 1;
        QTest::newRow("killed") << "pk" << 0;
    }

    void pagesOfADocument()
    {
        QFETCH(QString, operations);
        QFETCH(int, pages);
        RecordingPrinter recording("Testdrucker");
        Printer* queue = printer("Zweitdrucker");
        for (Printer* printer : std::initializer_list<Printer*> { m_pdf, &recording, queue }) {
            for (const QChar op : operations) {
                if (op == 'p')
                    printer->paintPicture(m_picture, 100, 100, 3000, 2000);
                else if (op == 'n')
                    printer->newPage();
                else
                    printer->killDoc();
            }
            printer->endDoc();
        }
        QCOMPARE(m_questions, pages > 0 ? 1 : 0);
        QCOMPARE(pdfInfo(target(), "Pages").toInt(), pages);
        QCOMPARE(recording.jobs(), pages > 0 ? std::vector<int> { pages } : std::vector<int> {});
        sendControlPage(queue, pages > 0 ? 1 : 0);
        QVERIFY(pages == 0 || pdfInfo(capturedJobs(m_sandbox, "Zweitdrucker").constFirst(), "Pages").toInt() == pages);
    }

    // A document that cannot be written whole fails with the reason, and nothing of it is
    // printed or saved. The disk fills up through a file size limit, or for real on a small
    // tmpfs where mounting is allowed (as root).
    void fullDiskSendsNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("tmpfs");
        QTest::newRow("queue, file size limit") << "Testdrucker" << false;
        QTest::newRow("PDF file, file size limit") << "PDF-Datei" << false;
        QTest::newRow("queue, full file system") << "Testdrucker" << true;
    }

    void fullDiskSendsNothing()
    {
        QFETCH(QString, name);
        QFETCH(bool, tmpfs);
        QTemporaryDir small;
        if (tmpfs && !runTool("mount", { "-t", "tmpfs", "-o", "size=256k", "tmpfs", small.path() }).ok)
            QSKIP("no tmpfs can be mounted here");
        Printer* prn = printer(name);
        {
            rlimit previous {};
            getrlimit(RLIMIT_FSIZE, &previous);
            const auto restore = qScopeGuard([&] {
                setrlimit(RLIMIT_FSIZE, &previous);
                qputenv("TMPDIR", m_temp.path().toUtf8());
                if (tmpfs)
                    runTool("umount", { small.path() });
            });
            if (tmpfs) {
                qputenv("TMPDIR", small.path().toUtf8());
            } else {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit { 256 * 1024, previous.rlim_max };
                QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
            }

            QImage noise(800, 600, QImage::Format_RGB32);
            QRandomGenerator(3).fillRange(reinterpret_cast<quint32*>(noise.bits()), noise.sizeInBytes() / 4);
            const QString error = errorOf([&] {
                for (int page = 0; page < 4; ++page) {
                    prn->paintPicture(noise, 0, 0, 4000, 3000);
                    prn->newPage();
                }
                prn->endDoc();
            });
            prn->killDoc(); // as the print command's error path does
            QVERIFY2(error.contains("kein Platz mehr") && error.contains(QDir::tempPath()), qPrintable(error));
            QVERIFY(QDir(QDir::tempPath()).entryList(QDir::Files | QDir::Hidden).isEmpty());
        }
        QCOMPARE(m_questions, 0);
        if (prn != m_pdf)
            sendControlPage(prn);
    }

    // A scheduler that is gone, stops answering or hangs up ends the job with a reason in
    // German (CUPS's own words mislead there) and prints nothing; so does "Abbrechen" while a
    // request waits. The printer list then holds "PDF-Datei" alone, after about five seconds
    // at most, and the queue comes back as the same printer.
    void unansweredRequestsEndTheJob_data()
    {
        QTest::addColumn<int>("scheduler"); // 0: none, 1: silent, 2: hangs up
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("reason");
        QTest::newRow("gone") << 0 << false << "ist nicht erreichbar.";
        QTest::newRow("silent") << 1 << false << "Das Drucksystem (CUPS) antwortet nicht.";
        QTest::newRow("Abbrechen") << 1 << true << "Der Druck wurde abgebrochen.";
        QTest::newRow("hangs up") << 2 << false << "Die Verbindung zum Drucksystem (CUPS) ist abgebrochen.";
    }

    void unansweredRequestsEndTheJob()
    {
        QFETCH(int, scheduler);
        QFETCH(bool, cancel);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString socket = dir.filePath("cups.sock");
        std::optional<FakeScheduler> fake;
        if (scheduler > 0)
            fake.emplace(socket, scheduler == 2);
        Printer* queue = printer("Testdrucker");
        queue->printLine("ohne Antwort");
        {
            QElapsedTimer clock;
            clock.start();
            cupsSetServer(QFile::encodeName(socket).constData());
            const auto restore = qScopeGuard([&] {
                cupsSetServer(nullptr);
                m_service->setAbortPoll({});
                m_service->setTimeouts(std::chrono::seconds(5), std::chrono::seconds(30));
            });
            m_service->setTimeouts(std::chrono::seconds(5), std::chrono::seconds(2));
            m_service->setAbortPoll([&] { return cancel && clock.elapsed() > 500; });
            const QString error = errorOf([&] { queue->endDoc(); });
            QVERIFY2(error.contains("Testdrucker") && error.endsWith(reason), qPrintable(error));
            QVERIFY2(clock.elapsed() < 10000, "still waiting after 10 s");
            if (!cancel) {
                QCOMPARE(names(), QStringList { "PDF-Datei" });
                clock.restart();
                CupsPrinterService starting; // as the window starts
                const std::vector<Printer*> listed = starting.printers();
                QVERIFY2(clock.elapsed() < 8000, qPrintable(QString::number(clock.elapsed())));
                QCOMPARE(listed.size(), size_t(1));
                QCOMPARE(starting.currentPrinter(), listed.back());
            }
        }
        QCOMPARE(printer("Testdrucker"), queue);
        queue->killDoc();
        sendControlPage(queue);
    }
};

QTEST_MAIN(TestPrinterServiceCups)
#include "tst_printerservice_cups.moc"
