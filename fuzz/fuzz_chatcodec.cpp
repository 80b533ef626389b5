// The chat codec on arbitrary datagrams and request headers: "QLM_MESSAGE",
// "QLM_BROADCAST", "QLM_REFUSE". What decodes must encode again without
// breaking its header line apart.
#include "protocol/ChatCodecUnit.h"
#include "protocol/EnvelopeUnit.h"
#include "text/MsgLangUnit.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TMessageLang western(1033);
    static const TMessageLang chinese(2052);
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto envelope = TEnvelope::Parse(bytes);
    if (!envelope) return 0;
    for (const TMessageLang* lang : {&western, &chinese}) {
        (void)DecodeBroadcast(*envelope, *lang);
        (void)DecodeRefuse(*envelope, *lang);
        if (const auto header = DecodeMessageHeader(*envelope, *lang)) {
            TLocalIdentity self;
            self.NickName = header->NickName;
            self.ComputerName = header->ComputerName;
            const QString summary = lang->DecodeFrom(header->LanguageId, header->Summary);
            const QByteArray line = EncodeMessageHeader(self, summary, *lang);
            if (line.contains('\n') || line.contains('\r')) std::abort();
        }
    }
    return 0;
}
