#include "wire/TlsSession.h"

#include "wire/KeySchedule.h"
#include "wire/TlsHello.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::uint8_t kChangeCipherSpec = 20;
constexpr std::uint8_t kAlert = 21;
constexpr std::uint8_t kHandshake = 22;
constexpr std::uint8_t kApplicationData = 23;

constexpr std::uint8_t kClientHello = 1;
constexpr std::uint8_t kServerHello = 2;
constexpr std::uint8_t kFinished = 20;
constexpr std::uint8_t kKeyUpdate = 24;

constexpr std::size_t kMaxRecordPayload = 16384 + 2048;
// Client records under the handshake keys that may fail to open: 0-RTT data the server refused.
constexpr unsigned kMaxSkippedRecords = 64;

} // namespace

TlsSession::Direction::Direction(bool isClient, std::size_t maxHello)
    : client(isClient)
    , handshake(maxHello)
{
    handshake.setWanted(1u << (isClient ? kClientHello : kServerHello));
}

TlsSession::TlsSession(const WireLimits& limits, const KeyLog& keyLog, Receiver& receiver)
    : m_limits(limits)
    , m_keyLog(keyLog)
    , m_receiver(receiver)
    , m_client(true, limits.maxHelloBytes)
    , m_server(false, limits.maxHelloBytes)
{}

TlsSession::~TlsSession() = default;

void TlsSession::clientBytes(std::span<const std::uint8_t> bytes, WireTime time)
{
    this->bytes(m_client, bytes, time);
}

void TlsSession::serverBytes(std::span<const std::uint8_t> bytes, WireTime time)
{
    const bool suiteKnown = m_suite != nullptr;
    this->bytes(m_server, bytes, time);
    // The client's records that waited for the ServerHello can be read now.
    if (!suiteKnown && m_suite && m_client.waiting)
        retryKeys(time);
}

bool TlsSession::waitingForKey() const
{
    return !m_failed && (m_client.waiting || m_server.waiting);
}

void TlsSession::retryKeys(WireTime time)
{
    for (Direction* direction : {&m_server, &m_client}) {
        if (m_failed || !direction->waiting)
            continue;
        direction->waiting = false;
        std::vector<std::uint8_t> held;
        held.swap(direction->held);
        bytes(*direction, held, time);
    }
}

void TlsSession::checkKeyWait(WireTime now)
{
    for (const Direction* direction : {&m_server, &m_client}) {
        if (direction->waiting && now - direction->waitingSince > m_limits.keyWaitTimeout)
            giveUpWaiting();
    }
}

void TlsSession::giveUpWaiting()
{
    m_keyNeverCame = true;
    fail();
}

void TlsSession::fail()
{
    m_failed = true;
    for (Direction* direction : {&m_server, &m_client}) {
        direction->held = {};
        direction->cipher.reset();
        direction->secret.clear();
        direction->waiting = false;
    }
    m_plain = {};
}

void TlsSession::bytes(Direction& direction, std::span<const std::uint8_t> bytes, WireTime time)
{
    if (m_failed || bytes.empty())
        return;
    if (direction.waiting) {
        if (direction.held.size() + bytes.size() > m_limits.maxBytesAwaitingKey)
            return giveUpWaiting();
        direction.held.insert(direction.held.end(), bytes.begin(), bytes.end());
        return;
    }
    if (direction.held.empty()) {
        const std::size_t read = readRecords(direction, bytes, time);
        if (!m_failed)
            direction.held.assign(bytes.begin() + std::ptrdiff_t(read), bytes.end());
    } else {
        direction.held.insert(direction.held.end(), bytes.begin(), bytes.end());
        const std::size_t read = readRecords(direction, direction.held, time);
        if (!m_failed)
            direction.held.erase(direction.held.begin(), direction.held.begin() + std::ptrdiff_t(read));
    }
    if (!m_failed && direction.waiting && direction.held.size() > m_limits.maxBytesAwaitingKey)
        giveUpWaiting();
}

std::size_t TlsSession::readRecords(Direction& direction, std::span<const std::uint8_t> bytes, WireTime time)
{
    std::size_t at = 0;
    while (!m_failed && bytes.size() - at >= 5) {
        const auto header = bytes.subspan(at, 5);
        const std::size_t length = std::size_t(header[3]) << 8 | header[4];
        if (header[0] < kChangeCipherSpec || header[0] > kApplicationData || header[1] != 3 ||
            length > kMaxRecordPayload) {
            fail();
            break;
        }
        if (bytes.size() - at - 5 < length)
            break;
        const Outcome outcome = record(direction, header, bytes.subspan(at + 5, length), time);
        if (outcome == Outcome::Fail) {
            fail();
            break;
        }
        if (outcome == Outcome::Wait) {
            direction.waiting = true;
            direction.waitingSince = time;
            break;
        }
        at += 5 + length;
    }
    return at;
}

TlsSession::Outcome TlsSession::record(Direction& direction,
                                       std::span<const std::uint8_t> header,
                                       std::span<const std::uint8_t> payload,
                                       WireTime time)
{
    const std::uint8_t type = header[0];
    if (type == kAlert && (!m_suite || direction.phase == Phase::Handshake) && !direction.cipher)
        return Outcome::Done; // a plaintext alert ends the handshake; nothing to read
    if (!m_suite) {
        // Until the ServerHello is read only plaintext handshake records make sense, and the
        // server's ChangeCipherSpec after a HelloRetryRequest (sent for middleboxes only).
        if (type == kHandshake)
            return handshakeBytes(direction, payload) ? Outcome::Done : Outcome::Fail;
        if (type == kChangeCipherSpec && !direction.client)
            return Outcome::Done;
        return Outcome::Wait;
    }
    if (m_suite->tls13) {
        switch (type) {
        case kChangeCipherSpec: // sent only for middleboxes
            return Outcome::Done;
        case kHandshake:
            return handshakeBytes(direction, payload) ? Outcome::Done : Outcome::Fail;
        case kApplicationData:
            return protectedRecord(direction, header, payload, time);
        default:
            return Outcome::Done;
        }
    }
    if (direction.phase == Phase::Handshake) {
        switch (type) {
        case kChangeCipherSpec:
            direction.phase = Phase::Application;
            return Outcome::Done;
        case kHandshake:
            return handshakeBytes(direction, payload) ? Outcome::Done : Outcome::Fail;
        case kApplicationData:
            return Outcome::Fail;
        default:
            return Outcome::Done;
        }
    }
    if (type == kChangeCipherSpec)
        return Outcome::Fail; // renegotiation is not followed
    return protectedRecord(direction, header, payload, time);
}

TlsSession::Outcome TlsSession::ensureCipher(Direction& direction)
{
    if (direction.cipher)
        return Outcome::Done;
    if (!m_haveClientRandom)
        return Outcome::Fail;
    const KeyLog::Entry* entry = m_keyLog.find(m_clientRandom);
    if (m_suite->tls13) {
        using Label = KeyLog::Label;
        const bool handshake = direction.phase == Phase::Handshake;
        const Label label = direction.client ? (handshake ? Label::ClientHandshakeTraffic : Label::ClientTraffic0)
                                             : (handshake ? Label::ServerHandshakeTraffic : Label::ServerTraffic0);
        if (!entry || (*entry)[label].empty())
            return Outcome::Wait;
        const auto keys = KeySchedule::tls13Keys(*m_suite, (*entry)[label]);
        if (!keys)
            return Outcome::Fail;
        direction.secret = (*entry)[label];
        direction.cipher = std::make_unique<RecordCipher>(*m_suite, *keys);
    } else {
        if (!entry || (*entry)[KeyLog::Label::ClientRandom].empty())
            return Outcome::Wait;
        const auto keys =
            KeySchedule::tls12Keys(*m_suite, (*entry)[KeyLog::Label::ClientRandom], m_clientRandom, m_serverRandom);
        if (!keys)
            return Outcome::Fail;
        direction.cipher = std::make_unique<RecordCipher>(*m_suite, direction.client ? keys->client : keys->server);
    }
    return direction.cipher->valid() ? Outcome::Done : Outcome::Fail;
}

TlsSession::Outcome TlsSession::protectedRecord(Direction& direction,
                                                std::span<const std::uint8_t> header,
                                                std::span<const std::uint8_t> payload,
                                                WireTime time)
{
    const Outcome ready = ensureCipher(direction);
    if (ready != Outcome::Done)
        return ready;
    if (m_plain.size() < payload.size())
        m_plain.resize(kMaxRecordPayload);
    const auto length = direction.cipher->open(header, payload, m_plain.data());
    if (!length) {
        if (m_suite->tls13 && direction.client && direction.phase == Phase::Handshake &&
            direction.skipped < kMaxSkippedRecords) {
            ++direction.skipped;
            return Outcome::Done;
        }
        return Outcome::Fail;
    }
    ++m_decrypted;
    std::span<const std::uint8_t> plain(m_plain.data(), *length);
    std::uint8_t type = header[0];
    if (m_suite->tls13) { // the real type follows the content, then zero padding
        while (!plain.empty() && plain.back() == 0)
            plain = plain.first(plain.size() - 1);
        if (plain.empty())
            return Outcome::Fail;
        type = plain.back();
        plain = plain.first(plain.size() - 1);
    }
    switch (type) {
    case kApplicationData:
        if (!m_suite->tls13 || direction.phase == Phase::Application)
            m_receiver.applicationData(direction.client, plain, time);
        break;
    case kHandshake:
        if (!handshakeBytes(direction, plain))
            return Outcome::Fail;
        break;
    case kAlert:
        break;
    default:
        return Outcome::Fail;
    }
    afterRecord(direction);
    return m_failed ? Outcome::Fail : Outcome::Done;
}

bool TlsSession::handshakeBytes(Direction& direction, std::span<const std::uint8_t> bytes)
{
    const bool ok = direction.handshake.feed(
        bytes, [this, &direction](std::uint8_t type, auto body) { handshakeMessage(direction, type, body); });
    return ok && !m_failed;
}

void TlsSession::handshakeMessage(Direction& direction, std::uint8_t type, std::span<const std::uint8_t> body)
{
    if (direction.client && type == kClientHello) {
        const auto hello = TlsHello::parseClient(body);
        if (!hello)
            return fail();
        if (!m_haveClientRandom) { // a second ClientHello (after a retry request) keeps the random
            m_haveClientRandom = true;
            m_clientRandom = hello->random;
            m_serverName = hello->serverName;
        }
    } else if (!direction.client && type == kServerHello) {
        const auto hello = TlsHello::parseServer(body);
        if (!hello)
            return fail();
        if (hello->retryRequest || m_suite)
            return;
        const bool tls13 = hello->version == 0x0304;
        if (!tls13 && hello->version != 0x0303)
            return fail(); // TLS 1.1 and older are not read
        m_suite = CipherSuite::find(hello->cipherSuite, tls13);
        if (!m_suite)
            return fail();
        m_serverRandom = hello->random;
    } else if (type == kFinished) {
        direction.finishedSeen = true;
    } else if (type == kKeyUpdate) {
        direction.keyUpdateSeen = true;
    }
}

void TlsSession::afterRecord(Direction& direction)
{
    // Handshake messages never span a change of keys: the new keys start with the next record.
    const bool finished = std::exchange(direction.finishedSeen, false);
    const bool keyUpdate = std::exchange(direction.keyUpdateSeen, false);
    if (!m_suite->tls13)
        return;
    if (finished && direction.phase == Phase::Handshake) {
        direction.phase = Phase::Application;
        direction.cipher.reset();
        direction.secret.clear();
    }
    if (keyUpdate && direction.phase == Phase::Application) {
        const auto next =
            direction.secret.empty() ? std::nullopt : KeySchedule::tls13NextSecret(*m_suite, direction.secret);
        const auto keys = next ? KeySchedule::tls13Keys(*m_suite, *next) : std::nullopt;
        if (!keys)
            return fail();
        direction.secret = *next;
        direction.cipher = std::make_unique<RecordCipher>(*m_suite, *keys);
    }
}
