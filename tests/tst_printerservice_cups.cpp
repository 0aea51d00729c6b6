// SPDX-License-Identifier: GPL-3.0-or-later
// CupsPrinterService against the private cupsd of scripts/cups-sandbox: its queues "Testdrucker" (the default)
// and "Zweitdrucker" store every job as $CUPS_SANDBOX_DIR/jobs/<queue>/<id>.pdf.
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

#include "ImageFixtures.h"
#include "PdfTools.h"
#include "RecordingPrinterService.h"
#include "engine/print/CupsPrinterService.h"

using namespace rasterblatt;
using namespace rasterblatt::testing;

// Takes connections and never answers (as a stopped cupsd) or hangs up at once (as a dying one).
struct FakeScheduler {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::thread thread;
    FakeScheduler(const QByteArray& path, bool hangUp)
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0)
            qFatal("cannot listen on %s", path.constData());
        if (hangUp)
            thread = std::thread([this] {
                for (int client; (client = ::accept(fd, nullptr, nullptr)) >= 0; ::close(client)) {
                    char request[512];
                    (void)::read(client, request, sizeof request);
                }
            });
    }
    ~FakeScheduler()
    {
        ::shutdown(fd, SHUT_RDWR);
        if (thread.joinable())
            thread.join();
        ::close(fd);
    }
};

class TestPrinterServiceCups : public QObject {
    Q_OBJECT

    QString m_sandbox, m_answer;
    QTemporaryDir m_home, m_temp;
    int m_questions = 0;
    std::unique_ptr<CupsPrinterService> m_service;
    QImage m_picture { 378, 282, QImage::Format_RGB32 };

    QString target() const { return m_home.filePath("Kontaktabzug.pdf"); }
    QStringList tempFiles() const { return QDir(QDir::tempPath()).entryList(QDir::Files | QDir::Hidden); }
    QStringList names()
    {
        QStringList result;
        for (Printer* printer : m_service->printers())
            result << printer->deviceName();
        return result;
    }
    Printer* printer(const QString& name) { return m_service->printers().at(names().indexOf(name)); }

    // A queue prints in order: once this page has arrived after the `before` jobs, all sent before it have too.
    void sendControlPage(Printer* queue, int before = 0)
    {
        queue->printLine("Kontrollseite");
        queue->endDoc();
        QStringList jobs;
        (void)QTest::qWaitFor(
            [&] { return (jobs = capturedJobs(m_sandbox, queue->deviceName())).size() > before; }, 20000);
        QCOMPARE(jobs.size(), before + 1);
        QCOMPARE(pdfText(jobs.constLast()).trimmed(), QString("Kontrollseite"));
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
        m_service = std::make_unique<CupsPrinterService>([this](const QString&) {
            ++m_questions;
            return m_answer;
        });
        QCOMPARE(
            names(), QStringList({ "Fotodrucker", "Testdrucker", "Zweitdrucker", "PDF-Datei", "Bilddateien (JPEG)" }));
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
    // p: a picture and its name, n: new page, k: killDoc. A document without a page sends nothing, in the recording
    // printer too; "Arial" comes as Liberation Sans, with its metrics.
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
    }
    void pagesOfADocument()
    {
        QFETCH(QString, operations);
        QFETCH(int, pages);
        RecordingPrinter recording("Testdrucker");
        Printer* queue = printer("Zweitdrucker");
        const std::initializer_list<Printer*> all { printer("PDF-Datei"), &recording, queue };
        for (Printer* printer : all) {
            printer->setFontName("Arial");
            printer->setFontSize(7);
            for (const QChar op : operations) {
                if (op == 'p')
                    printer->PaintPicture(m_picture, 100, 100, 3000, 2000);
                op == 'p' ? printer->printLine("urlaub.jpg") : op == 'n' ? printer->newPage() : printer->killDoc();
            }
            printer->endDoc();
        }
        const double height = queue->textHeight("ABC"), width = queue->textWidth("ABC");
        QCOMPARE_LE(qAbs(height - 161), 2);
        QCOMPARE_GT(width, 250);
        QCOMPARE_LT(width, 320);
        QCOMPARE(m_questions, operations.contains('p') ? 1 : 0); // as the document is begun
        QCOMPARE(pdfInfo(target(), "Pages").toInt(), pages);
        QCOMPARE(recording.jobs(), pages > 0 ? std::vector<int> { pages } : std::vector<int> {});
        sendControlPage(queue, pages > 0 ? 1 : 0);
        const QString job = capturedJobs(m_sandbox, "Zweitdrucker").constFirst();
        const QString report = pdfInfo(job, "Pages") + pdfText(job) + runTool("pdffonts", { job }).output;
        QVERIFY2(pages == 0
                || (report.startsWith(QString::number(pages)) && report.contains("urlaub.jpg")
                    && report.contains("LiberationSans")),
            qPrintable(report));
    }
    // A document that cannot be sent whole fails with the reason and sends or saves nothing. The disk fills up
    // through a file size limit, or for real on a small tmpfs where mounting is allowed. A scheduler that is gone,
    // stops answering or hangs up ends the job with a reason in German (CUPS's own words mislead there), as does
    // "Abbrechen" while a request waits; the printer list then holds "PDF-Datei" alone, within seconds, and the
    // queue comes back as the same printer.
    void failureSendsNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("reason"); // the kind of the error that started it
        const auto row = [](const char* tag, const char* name, const char* failure, Error::Kind reason) {
            QTest::newRow(tag) << QString(name) << QString(failure) << int(reason);
        };
        using E = Error::Kind;
        row("queue, file size limit", "Testdrucker", "limit", E::DiskFull);
        row("queue, full file system", "Testdrucker", "tmpfs", E::DiskFull);
        row("scheduler gone", "Testdrucker", "gone", E::CupsUnreachable);
        row("silent", "Testdrucker", "silent", E::CupsSilent);
        row("Abbrechen", "Testdrucker", "cancel", E::Cancelled);
        row("hangs up", "Zweitdrucker", "hangup", E::CupsConnectionLost);
    }
    void failureSendsNothing()
    {
        QFETCH(QString, name);
        QFETCH(QString, failure);
        QFETCH(int, reason);
        const bool disk = failure == "limit" || failure == "tmpfs";
        QTemporaryDir dir;
        if (failure == "tmpfs" && !runTool("mount", { "-t", "tmpfs", "-o", "size=256k", "tmpfs", dir.path() }).ok)
            QSKIP("no tmpfs can be mounted here");
        const QByteArray socket = QFile::encodeName(dir.filePath("cups.sock"));
        std::optional<FakeScheduler> fake;
        if (!disk && failure != "gone")
            fake.emplace(socket, failure == "hangup");
        Printer* prn = printer(name);
        if (!disk)
            prn->printLine("ohne Antwort");
        {
            rlimit previous {};
            getrlimit(RLIMIT_FSIZE, &previous);
            const auto restore = qScopeGuard([&] {
                setrlimit(RLIMIT_FSIZE, &previous);
                qputenv("TMPDIR", m_temp.path().toUtf8());
                if (failure == "tmpfs")
                    runTool("umount", { dir.path() });
                cupsSetServer(nullptr);
                m_service->setAbortPoll({});
                m_service->setTimeouts(std::chrono::seconds(5), std::chrono::seconds(30));
            });
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit { 256 * 1024, previous.rlim_max };
            QVERIFY(failure != "limit" || setrlimit(RLIMIT_FSIZE, &limit) == 0);
            if (failure == "tmpfs")
                qputenv("TMPDIR", dir.path().toUtf8());
            if (!disk)
                cupsSetServer(socket.constData());
            QElapsedTimer clock;
            clock.start();
            m_service->setTimeouts(std::chrono::seconds(5), std::chrono::seconds(2));
            m_service->setAbortPoll([&] { return failure == "cancel" && clock.elapsed() > 500; });
            QImage noise(800, 600, QImage::Format_RGB32);
            QRandomGenerator(3).fillRange(reinterpret_cast<quint32*>(noise.bits()), noise.sizeInBytes() / 4);
            Error error;
            try {
                for (int page = 0; disk && page < 4; ++page)
                    prn->PaintPicture(noise, 0, 0, 4000, 3000), prn->newPage();
                prn->endDoc();
            } catch (const PrinterError& e) {
                error = e.error();
            }
            prn->killDoc(); // as the print command's error path does
            // A cancel is no failure of the printer: it says only that.
            QCOMPARE(int(error.rootKind()), reason);
            if (failure != "cancel") {
                QCOMPARE(int(error.kind), int(disk ? Error::Kind::DocumentNotWritten : Error::Kind::JobNotSent));
                QVERIFY2(error.args.value(0).contains(disk ? QDir::tempPath() : name), qPrintable(errorText(error)));
            }
            QVERIFY2(disk || clock.elapsed() < 10000, "still waiting after 10 s");
            QVERIFY(tempFiles().isEmpty());
            if (!disk && failure != "cancel") {
                QCOMPARE(names(), QStringList({ "PDF-Datei", "Bilddateien (JPEG)" }));
                clock.restart();
                CupsPrinterService starting; // as the window starts
                const std::vector<Printer*> listed = starting.printers();
                QVERIFY2(clock.elapsed() < 8000, qPrintable(QString::number(clock.elapsed())));
                QCOMPARE(listed.size(), size_t(2));
                QCOMPARE(starting.currentPrinter(), listed.front());
            }
        }
        QCOMPARE(m_questions, 0);
        QCOMPARE(printer(name), prn);
        sendControlPage(prn);
    }
    // A paper chosen while a document is drawn is for the next one: the job is sent with its own,
    // by the driver's name, also where that has a comma.
    void paperOfTheDocument()
    {
        // A queue whose A3 sheet the driver calls "A4,Transparency".
        const QString ppd = m_home.filePath("folien.ppd");
        QVERIFY(fixtures::writeFile(
            ppd, fixtures::readFile(m_sandbox + "/etc/fotodrucker.ppd").replace("A3/A3:", "A4,Transparency/Folie:")));
        QVERIFY(runTool("lpadmin", { "-p", "Folien", "-E", "-v", "capture:/Folien", "-P", ppd }).ok);
        CupsPrinterService service;
        for (const auto& [queueName, paperName] :
            { std::pair { "Fotodrucker", "A3" }, { "Folien", "A4,Transparency" } }) {
            Printer* queue = service.printerNamed(queueName);
            QVERIFY(queue);
            const QPageSize paper = findPaper(queue->paperSizes(), paperName);
            QCOMPARE(rasterblatt::paperName(paper), QString(paperName));
            const qsizetype before = capturedJobs(m_sandbox, queueName).size();
            queue->setPaper(paper, QPageLayout::Landscape);
            queue->PaintPicture(m_picture, 100, 100, 3000, 2000);
            queue->setPaper(findPaper(queue->paperSizes(), "Letter"), QPageLayout::Portrait);
            queue->endDoc();
            QTRY_COMPARE_WITH_TIMEOUT(capturedJobs(m_sandbox, queueName).size(), before + 1, 20000);
            const QString job = capturedJobs(m_sandbox, queueName).constLast();
            QVERIFY(pdfInfo(job, "Page size").startsWith("1191 x 842 pts"));
            const QString options = fixtures::readFile(QString(job).replace(".pdf", ".options"));
            QVERIFY2(options.contains(QString(" PageSize=%1 ").arg(paperName)), qPrintable(options));
            QVERIFY2(!options.contains("media="), qPrintable(options));
        }
    }
    // What Einrichten asks of a queue, on a thread of its own: the driver's papers with their printable
    // areas; a queue that is gone told apart from a scheduler that does not answer, which leaves
    // what the driver said before.
    void papersQuestion()
    {
        CupsPrinterService service;
        const QByteArray still = QFile::encodeName(m_home.filePath("still.sock"));
        const auto ask = [&](const QString& name, bool silent = false) {
            PrinterPapers papers;
            std::thread([&] {
                if (silent)
                    cupsSetServer(still.constData()); // for this thread only
                papers = service.papersQuestion(name, std::chrono::milliseconds(500))();
            }).join();
            return papers;
        };
        PrinterPapers papers = ask("Fotodrucker");
        QCOMPARE(papers.answer, PrinterPapers::Known);
        QCOMPARE(paperName(papers.defaultPaper), QString("Letter"));
        QCOMPARE(papers.layout(papers.defaultPaper, QPageLayout::Portrait).margins(), QMarginsF(18, 36, 18, 36));
        QCOMPARE(ask("Gibtsnicht").answer, PrinterPapers::Missing);
        const FakeScheduler stopped(still, false);
        papers = ask("Fotodrucker", true);
        QCOMPARE(papers.answer, PrinterPapers::Silent);
        QCOMPARE(paperName(papers.defaultPaper), QString("Letter"));
    }
    // The scheduler restarts while the document goes to it, and is back a second later: it keeps
    // the job it had begun, and the printer cancels that once it answers again, so nothing is
    // left in the queue.
    void restartWhileSending()
    {
        Printer* queue = printer("Testdrucker");
        QImage noise(1600, 1200, QImage::Format_RGB32);
        QRandomGenerator(5).fillRange(reinterpret_cast<quint32*>(noise.bits()), noise.sizeInBytes() / 4);
        queue->PaintPicture(noise, 0, 0, 8000, 6000);
        const QString script = QFINDTESTDATA("../scripts/cups-sandbox");
        QProcess restart;
        int polls = 0; // one for every part of the document sent
        m_service->setAbortPoll([&] {
            if (++polls == 3 && runTool(script, { "stop", m_sandbox }).ok)
                restart.start("sh", { "-c", "sleep 1 && exec \"$0\" start \"$1\"", script, m_sandbox });
            return false;
        });
        QVERIFY_THROWS_EXCEPTION(PrinterError, queue->endDoc());
        m_service->setAbortPoll({});
        QVERIFY(restart.waitForFinished(20000));
        QCOMPARE(restart.exitCode(), 0);
        QCOMPARE(runTool("lpstat", { "-W", "not-completed", "-o" }).output.trimmed(), QString());
        sendControlPage(queue);
    }
};

QTEST_MAIN(TestPrinterServiceCups)
#include "tst_printerservice_cups.moc"
