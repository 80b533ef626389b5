#include "text/RtfCodePageUnit.h"

#include "platform/CodePageUnit.h"

namespace {

struct TCharsetCodePage {
    int Charset;
    int CodePage;
};

constexpr TCharsetCodePage CharsetCodePages[] = {
    {128, 932},  {129, 949},  {130, 1361}, {134, 936},  {136, 950},  {161, 1253},
    {162, 1254}, {163, 1258}, {177, 1255}, {178, 1256}, {186, 1257}, {204, 1251},
    {222, 874},  {238, 1250}, {254, 437},  {255, 850},  {77, 10000},
};

} // namespace

int CodePageOfCharset(int charset) {
    for (const TCharsetCodePage& entry : CharsetCodePages)
        if (entry.Charset == charset) return entry.CodePage;
    return 0;
}

int CharsetOfCodePage(int codePage) {
    for (const TCharsetCodePage& entry : CharsetCodePages)
        if (entry.CodePage == codePage) return entry.Charset;
    return 0;
}

QByteArray CodePageConverterName(int codePage) {
    switch (codePage) {
    case 936: return QByteArrayLiteral("GBK");
    case 950: return QByteArrayLiteral("windows-950");
    case 932: return QByteArrayLiteral("CP932");
    case 949: return QByteArrayLiteral("windows-949");
    case 874: return QByteArrayLiteral("windows-874");
    case 437: return QByteArrayLiteral("IBM437");
    case 850: return QByteArrayLiteral("IBM850");
    case 10000: return QByteArrayLiteral("macintosh");
    case 65001: return QByteArrayLiteral("UTF-8");
    default: break;
    }
    return "windows-" + QByteArray::number(codePage);
}

int CodePageOfLanguage(int languageId) {
    const QByteArray name = Platform::CodePageName(languageId);
    if (name == "GBK") return 936;
    if (name == "CP932") return 932;
    // "windows-1252", "windows-950" ...
    const qsizetype dash = name.lastIndexOf('-');
    bool ok = false;
    const int number = name.mid(dash + 1).toInt(&ok);
    return ok && number > 0 ? number : kDefaultCodePage;
}
