// A web client's bytes as the station frames them into requests: any bytes, arriving in pieces
// of any size. Whatever the framer passes on must be one plain request that frames the same
// way again; whatever it holds back stays within the request size limit.
#include "outputs/web/request_framer.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr qint64 kMaxRequestBytes = 4096;

void Check(bool condition) {
    if (!condition) std::abort();
}

// A request as passed on, framed once more, comes out unchanged and whole.
void CheckForwarded(const noxa::FramedRequest& request) {
    Check(request.forwarded.contains(" HTTP/1.1\r\n"));
    Check(request.forwarded.contains("\r\n\r\n"));
    noxa::RequestFramer again(kMaxRequestBytes * 2);
    again.Append(request.forwarded);
    noxa::FramedRequest copy;
    noxa::FramingError error;
    const auto result = again.Next(copy, error);
    // HTTP/1.0 needs no Host; the request passed on says HTTP/1.1.
    if (result == noxa::RequestFramer::Result::Error && request.http10) return;
    Check(result == noxa::RequestFramer::Result::Request);
    Check(copy.forwarded == request.forwarded);
    Check(again.Buffered() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // The first byte sets the size of the pieces the rest arrives in.
    const std::size_t piece = 1 + data[0] % 64;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = size - 1;

    noxa::RequestFramer framer(kMaxRequestBytes);
    for (std::size_t at = 0; at < length; at += piece) {
        const std::size_t count = at + piece > length ? length - at : piece;
        framer.Append(QByteArray(bytes + at, static_cast<qsizetype>(count)));
        for (;;) {
            noxa::FramedRequest request;
            noxa::FramingError error;
            const auto result = framer.Next(request, error);
            if (result == noxa::RequestFramer::Result::Error) {
                Check(error.status >= 400 && error.status < 600);
                return 0;
            }
            if (result == noxa::RequestFramer::Result::Incomplete) break;
            CheckForwarded(request);
        }
        framer.TakeContinue();
        Check(framer.Buffered() <= kMaxRequestBytes);
    }
    return 0;
}
