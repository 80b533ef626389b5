// RTF codec: a message of about 1 MiB text and markup with 20 pictures of
// 40 KiB, written and read back. Each direction is timed against a plain copy
// of the same bytes in the same run. Its peak memory (VmHWM growth) is taken in
// a fresh child process of this program, so that memory freed by earlier rounds
// cannot hide it, and set against the size of the RTF. Prints figures and
// ratios; never fails on speed.
#include "BenchMemory.h"
#include "BenchTiming.h"
#include "text/RtfReaderUnit.h"
#include "text/RtfWriterUnit.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <cstdio>
#include <cstring>
#include <malloc.h>

namespace {

constexpr int kPictures = 20;
constexpr int kPictureBytes = 40 * 1024;
constexpr int kRounds = 20;

// Starts a new peak: VmHWM falls back to the current RSS.
void ResetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) clear.write("5");
}

TRichDocument Message() {
    QRandomGenerator random(7);
    TRichDocument document;
    TRichFormat plain{QStringLiteral("Arial"), 20, std::nullopt, false, false, false};
    TRichFormat bold = plain;
    bold.Bold = true;
    bold.Colour = 0xC00000;
    TRichFormat chinese = plain;
    chinese.FontName = QString::fromUtf8("宋体");
    for (int p = 0; p < 2400; ++p) {
        document.AppendText(QStringLiteral("Paragraph %1 of the benchmark message, with some words. ").arg(p), plain);
        document.AppendText(QStringLiteral("Bold part. "), bold);
        document.AppendText(QString::fromUtf8("中文消息内容。"), chinese);
        if (p % 120 == 0 && document.Pictures().size() < kPictures) {
            QByteArray gif("GIF89a", 6);
            while (gif.size() < kPictureBytes) gif += char(random.bounded(256));
            document.AppendPicture({gif, TPictureFormat::Gif}, plain);
        }
        document.NewParagraph();
    }
    return document;
}

// Child side: VmHWM growth over one call in a process that has done nothing
// else since its free pages went back to the system.
int MeasurePeak(const char* direction) {
    const TRichDocument document = Message();
    TRtfWriteOptions options;
    options.CodePage = 936;
    const QByteArray rtf = WriteRtf(document, options);
    volatile qsizetype sink = ReadRtf(rtf)->Paragraphs.size(); // converters and libgsf set up
    malloc_trim(0);
    ResetPeak();
    const long before = StatusKiB("VmRSS:");
    if (strcmp(direction, "write") == 0) {
        const QByteArray written = WriteRtf(document, options);
        sink = sink + written.size();
    } else {
        const std::optional<TRichDocument> read = ReadRtf(rtf);
        sink = sink + read->Paragraphs.size();
    }
    std::printf("%ld\n", StatusKiB("VmHWM:") - before);
    return 0;
}

long PeakInChild(const char* direction) {
    // The shell popen starts would be /proc/self/exe: name this program itself.
    const QByteArray program = QFile::symLinkTarget(QStringLiteral("/proc/self/exe")).toLocal8Bit();
    const QByteArray command = "'" + program + "' --peak " + direction;
    FILE* child = popen(command.constData(), "r");
    if (!child) return -1;
    long kib = -1;
    if (std::fscanf(child, "%ld", &kib) != 1) kib = -1;
    return pclose(child) == 0 ? kib : -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "--peak") == 0) return MeasurePeak(argv[2]);
    const TRichDocument document = Message();
    TRtfWriteOptions options;
    options.CodePage = 936;
    const QByteArray rtf = WriteRtf(document, options);
    const std::optional<TRichDocument> check = ReadRtf(rtf);
    if (!check || !(*check == document)) {
        std::printf("round trip failed\n");
        return 1;
    }
    std::printf("document: %.2f MiB RTF, %d pictures of %d KiB, %lld characters of text\n",
                rtf.size() / 1048576.0, int(document.Pictures().size()), kPictureBytes / 1024,
                qlonglong(document.PlainText().size()));

    volatile qsizetype sink = 0;
    const double copy = MillisecondsPerRound(kRounds, [&] {
        QByteArray copied(rtf.size(), Qt::Uninitialized);
        memcpy(copied.data(), rtf.constData(), size_t(rtf.size()));
        sink = sink + copied.size();
    });
    const double write = MillisecondsPerRound(kRounds, [&] { sink = sink + WriteRtf(document, options).size(); });
    const double read = MillisecondsPerRound(kRounds, [&] { sink = sink + ReadRtf(rtf)->Paragraphs.size(); });

    const double rtfKiB = rtf.size() / 1024.0;
    const long writePeak = PeakInChild("write");
    const long readPeak = PeakInChild("read");

    std::printf("copy : %8.3f ms per round (baseline)\n", copy);
    std::printf("write: %8.3f ms per round, %6.1fx the copy (target under 20 ms)\n", write, write / copy);
    std::printf("read : %8.3f ms per round, %6.1fx the copy (target under 20 ms)\n", read, read / copy);
    std::printf("peak memory, write: %ld KiB = %.2fx the RTF (target under 4x)\n", writePeak, writePeak / rtfKiB);
    std::printf("peak memory, read : %ld KiB = %.2fx the RTF (target under 4x)\n", readPeak, readPeak / rtfKiB);
    return 0;
}
