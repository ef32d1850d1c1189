#include "outputs/web/http_daemon.h"

#include "outputs/web/request_check.h"
#include "outputs/web/route_server.h"

#include <microhttpd.h>

#include <cstring>
#include <optional>
#include <string>

namespace noxa {
namespace {

// Bytes handed to the library at a time; it asks for more as the client reads.
constexpr std::size_t kBlock = 64 * 1024;

// What one request gathers while the library reads it.
struct RequestState {
    QByteArray target;
    QByteArray body;
    bool headChecked = false;
    bool bodyTooLarge = false;
    bool lastOnConnection = false;  // the connection closes after its answer
};

// Whether the connection's slot was given back already.
struct ConnectionSlot {
    bool released = false;
};

// Whether the comma-separated `list` holds `token`, in any case.
bool HasToken(const char* list, const char* token) {
    if (list == nullptr) return false;
    for (const QByteArray& item : QByteArray(list).split(','))
        if (item.trimmed().compare(token, Qt::CaseInsensitive) == 0) return true;
    return false;
}

// Whether the client asked to close the connection after this request's answer.
bool ClientCloses(MHD_Connection* connection, const char* version) {
    const char* options = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Connection");
    if (HasToken(options, "close")) return true;
    return std::strcmp(version, "HTTP/1.0") == 0 && !HasToken(options, "keep-alive");
}

void FreeBody(void* cls) {
    delete static_cast<QByteArray*>(cls);
}

// A body made while it is sent: the piece being handed over and where in it the library is.
struct StreamedBody {
    BodySource source;
    QByteArray piece;
    qsizetype at = 0;
};

// The library asks for more only once the client took what it had: the source is read no
// faster than the client reads.
ssize_t ReadStream(void* cls, uint64_t, char* buffer, size_t max) {
    auto& body = *static_cast<StreamedBody*>(cls);
    while (body.at == body.piece.size()) {
        std::optional<QByteArray> next = body.source();
        if (!next) return MHD_CONTENT_READER_END_WITH_ERROR;
        if (next->isEmpty()) return MHD_CONTENT_READER_END_OF_STREAM;
        body.piece = std::move(*next);
        body.at = 0;
    }
    const std::size_t count = std::min<std::size_t>(max, body.piece.size() - body.at);
    std::memcpy(buffer, body.piece.constData() + body.at, count);
    body.at += static_cast<qsizetype>(count);
    return static_cast<ssize_t>(count);
}

void FreeStream(void* cls) {
    delete static_cast<StreamedBody*>(cls);
}

// The library's response for `reply`'s body, sent as the client reads it.
MHD_Response* CreateResponse(const WebReply& reply) {
    if (reply.source) {
        auto* body = new StreamedBody{reply.source, {}, 0};
        MHD_Response* response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, kBlock,
                                                                   ReadStream, body, FreeStream);
        if (response == nullptr) delete body;
        return response;
    }
    // A body made already is lent to the library as it is: the head and the body then go
    // out in one write.
    auto* body = new QByteArray(reply.body);
    MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
        static_cast<size_t>(body->size()), const_cast<char*>(body->constData()), FreeBody, body);
    if (response == nullptr) delete body;
    return response;
}

void AddHeaderLines(MHD_Response* response, const QByteArray& lines) {
    for (const QByteArray& line : lines.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) continue;
        MHD_add_response_header(response, line.left(colon).trimmed().constData(),
                                line.mid(colon + 1).trimmed().constData());
    }
}

// Hands `reply` to the library, the answer to a HEAD request when `head`; with `close`, the
// connection ends after it.
MHD_Result Queue(MHD_Connection* connection, const WebReply& reply, bool close, bool head = false) {
    MHD_Response* response = CreateResponse(reply);
    if (response == nullptr) return MHD_NO;
    // The library ends a chunked answer to HEAD with a last chunk all the same, which the
    // client would take for the start of the next answer: that one goes without chunks, and
    // the connection closes after it.
    unsigned flags = MHD_RF_SEND_KEEP_ALIVE_HEADER;
    if (head && reply.source) flags |= MHD_RF_HTTP_1_0_COMPATIBLE_STRICT;
    MHD_set_response_options(response, static_cast<MHD_ResponseFlags>(flags), MHD_RO_END);
    MHD_add_response_header(response, "Content-Type", reply.type.constData());
    MHD_add_response_header(response, "Cache-Control", reply.cache.constData());
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    AddHeaderLines(response, reply.extraHeaders);
    if (close) MHD_add_response_header(response, "Connection", "close");
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(reply.status), response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Result Refuse(MHD_Connection* connection, const HttpRefusal& refusal) {
    return Queue(connection,
                 TextReply(refusal.status, refusal.reason, QByteArray(refusal.reason) + '\n'),
                 true);
}

MHD_Result CollectField(void* cls, MHD_ValueKind, const char* name, size_t nameSize,
                        const char* value, size_t valueSize) {
    auto& head = *static_cast<RequestHead*>(cls);
    head.fields.emplace_back(std::string_view(name, nameSize),
                             std::string_view(value ? value : "", value ? valueSize : 0));
    return MHD_YES;
}

}  // namespace

struct HttpDaemon::Calls {
    static void* Began(void*, const char* uri, MHD_Connection*) {
        auto* state = new RequestState;
        state->target = uri;
        return state;
    }

    // A connection that closes after its answer gives back its slot once the answer is
    // sent, before the close: its client may open the next one at once.
    static void Ended(void* cls, MHD_Connection* connection, void** context,
                      MHD_RequestTerminationCode code) {
        auto* state = static_cast<RequestState*>(*context);
        if (state != nullptr && state->lastOnConnection &&
            code == MHD_REQUEST_TERMINATED_COMPLETED_OK)
            Release(*static_cast<HttpDaemon*>(cls), connection);
        delete state;
        *context = nullptr;
    }

    static void Release(HttpDaemon& self, MHD_Connection* connection) {
        const MHD_ConnectionInfo* slot =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        const MHD_ConnectionInfo* address =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        auto* held = slot ? static_cast<ConnectionSlot*>(slot->socket_context) : nullptr;
        if (held == nullptr || held->released || address == nullptr) return;
        held->released = true;
        self.acceptor_.Closed(address->client_addr);
    }

    static void Connection(void* cls, MHD_Connection* connection, void** socketContext,
                           MHD_ConnectionNotificationCode code) {
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            *socketContext = new ConnectionSlot;
            return;
        }
        Release(*static_cast<HttpDaemon*>(cls), connection);
        delete static_cast<ConnectionSlot*>(*socketContext);
        *socketContext = nullptr;
    }

    // The library's own decoding of the path is left out: the routes see the target as sent.
    static size_t KeepAsSent(void*, MHD_Connection*, char* text) { return std::strlen(text); }

    static MHD_Result Access(void* cls, MHD_Connection* connection, const char*, const char* method,
                             const char* version, const char* upload, size_t* uploadSize,
                             void** context) {
        auto& self = *static_cast<HttpDaemon*>(cls);
        auto& state = *static_cast<RequestState*>(*context);
        if (!state.headChecked) {
            state.headChecked = true;
            state.lastOnConnection = ClientCloses(connection, version);
            return CheckHead(self, connection, state, method, version);
        }
        if (*uploadSize > 0) {
            if (state.body.size() + static_cast<qint64>(*uploadSize) > self.limits_.maxBodyBytes)
                state.bodyTooLarge = true;
            else
                state.body.append(upload, static_cast<qsizetype>(*uploadSize));
            *uploadSize = 0;
            return MHD_YES;
        }
        if (state.bodyTooLarge) {
            state.lastOnConnection = true;
            return Refuse(connection, HttpRefusal{413, "Content Too Large"});
        }
        const auto target = ParseTarget(state.target.toStdString());
        WebRequest request;
        request.method = method;
        request.path = QString::fromUtf8(QByteArray::fromPercentEncoding(target->path));
        request.query = target->query;
        request.body = std::move(state.body);
        return Queue(connection, self.answer_(request), false, request.IsHead());
    }

    static MHD_Result CheckHead(HttpDaemon& self, MHD_Connection* connection, RequestState& state,
                                const char* method, const char* version) {
        const std::string target = state.target.toStdString();
        RequestHead head{method, target, version, {}};
        MHD_get_connection_values_n(connection, MHD_HEADER_KIND, CollectField, &head);
        std::size_t headBytes = std::strlen(method) + target.size() + std::strlen(version);
        for (const auto& [name, value] : head.fields) headBytes += name.size() + value.size() + 4;
        std::optional<HttpRefusal> refusal = CheckRequest(head, self.limits_.maxBodyBytes);
        if (headBytes > static_cast<std::size_t>(self.limits_.maxHeadBytes))
            refusal = HttpRefusal{431, "Request Header Fields Too Large"};
        if (!refusal) return MHD_YES;
        state.lastOnConnection = true;
        return Refuse(connection, *refusal);
    }
};

// One of the library's daemons, driven by the acceptor's thread that hands it connections.
class HttpDaemon::Library final : public ConnectionAcceptor::Server {
public:
    explicit Library(MHD_Daemon* daemon)
        : daemon_(daemon),
          epoll_(MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_EPOLL_FD)->epoll_fd) {}
    ~Library() override { MHD_stop_daemon(daemon_); }

    bool Take(int descriptor, const sockaddr* address, socklen_t size) override {
        return MHD_add_connection(daemon_, descriptor, address, size) == MHD_YES;
    }
    int Descriptor() const override { return epoll_; }
    long long Due() const override {
        MHD_UNSIGNED_LONG_LONG due = 0;
        return MHD_get_timeout(daemon_, &due) == MHD_YES ? static_cast<long long>(due) : -1;
    }
    void Serve() override { MHD_run(daemon_); }

private:
    MHD_Daemon* const daemon_;
    const int epoll_;
};

HttpDaemon::HttpDaemon(const WebLimits& limits, Answer answer, ConnectionAcceptor::Say say)
    : limits_(limits), answer_(std::move(answer)), acceptor_(limits_, std::move(say)) {}

HttpDaemon::~HttpDaemon() {
    // The acceptor's threads drive the library: they stop first; the library then closes
    // what it holds, each close told to the acceptor.
    acceptor_.Stop();
    libraries_.clear();
}

// A daemon of the library for one of the acceptor's threads: it has no thread and no
// listening socket of its own.
MHD_Daemon* HttpDaemon::StartLibrary() {
    const auto memory = static_cast<size_t>(std::max<qint64>(2 * limits_.maxHeadBytes, 8192));
    // The acceptor keeps the limits, with a 503 for those over them; the library's own are a
    // backstop that never turns away what the acceptor took: it counts an address's
    // connections until a moment after the acceptor does.
    const auto connections = static_cast<unsigned>(limits_.maxConnections);
    const auto perAddress = 2 * static_cast<unsigned>(limits_.maxConnectionsPerClient);
    return MHD_start_daemon(
        MHD_USE_EPOLL | MHD_USE_NO_LISTEN_SOCKET, 0, nullptr, nullptr, &Calls::Access, this,
        MHD_OPTION_CONNECTION_LIMIT, connections, MHD_OPTION_PER_IP_CONNECTION_LIMIT, perAddress,
        MHD_OPTION_CONNECTION_TIMEOUT, limits_.timeoutSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        memory, MHD_OPTION_STRICT_FOR_CLIENT, 1, MHD_OPTION_URI_LOG_CALLBACK, &Calls::Began, this,
        MHD_OPTION_NOTIFY_COMPLETED, &Calls::Ended, this, MHD_OPTION_NOTIFY_CONNECTION,
        &Calls::Connection, this, MHD_OPTION_UNESCAPE_CALLBACK, &Calls::KeepAsSent, this,
        MHD_OPTION_END);
}

bool HttpDaemon::Start(const QHostAddress& address, quint16 port, QString& error) {
    while (libraries_.size() < std::max(1u, limits_.threads)) {
        MHD_Daemon* daemon = StartLibrary();
        if (daemon == nullptr) {
            error = QStringLiteral("the HTTP library did not start");
            return false;
        }
        libraries_.push_back(std::make_unique<Library>(daemon));
    }
    std::vector<ConnectionAcceptor::Server*> servers;
    for (const auto& library : libraries_) servers.push_back(library.get());
    return acceptor_.Listen(address, port, servers, error);
}

}  // namespace noxa
