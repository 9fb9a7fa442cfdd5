#pragma once

#include "wire/CipherSuite.h"
#include "wire/HandshakeReader.h"
#include "wire/KeyLog.h"
#include "wire/RecordCipher.h"
#include "wire/WireLimits.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// One TLS connection read from both of its byte streams: the records, the hellos, and with the
// secrets of the key log the protected records of TLS 1.3 (handshake and application secrets,
// KeyUpdate) and TLS 1.2 (AEAD suites from the master secret). The application data goes to the
// receiver in order per direction.
//
// Bounds: per direction one record (at most 2^14 + 2048 bytes) plus the segment being read,
// or, while a secret is missing, WireLimits::maxBytesAwaitingKey for at most keyWaitTimeout.
// A record that does not authenticate, a missing secret past those bounds, an unknown cipher
// suite or malformed framing ends the session (failed()); nothing is reported for it.
class TlsSession final
{
public:
    class Receiver
    {
    public:
        virtual ~Receiver() = default;
        virtual void applicationData(bool fromClient, std::span<const std::uint8_t> bytes, WireTime time) = 0;
    };

    TlsSession(const WireLimits& limits, const KeyLog& keyLog, Receiver& receiver);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    void clientBytes(std::span<const std::uint8_t> bytes, WireTime time);
    void serverBytes(std::span<const std::uint8_t> bytes, WireTime time);

    // A secret was missing; looks again and reads what was held.
    void retryKeys(WireTime time);
    bool waitingForKey() const;
    // Holding records for a secret longer than the limits allow: failed() from now on.
    void checkKeyWait(WireTime now);

    bool failed() const { return m_failed; }
    // Failed because records waited for a secret past the limits (the key log lacks it).
    bool keyNeverCame() const { return m_keyNeverCame; }
    bool hasClientRandom() const { return m_haveClientRandom; }
    const KeyLog::ClientRandom& clientRandom() const { return m_clientRandom; }
    const std::string& serverName() const { return m_serverName; }
    std::uint64_t decryptedRecords() const { return m_decrypted; }

private:
    enum class Phase
    {
        Handshake,   // TLS 1.3: handshake traffic secret; TLS 1.2: before ChangeCipherSpec
        Application, // TLS 1.3: after this side's Finished; TLS 1.2: after ChangeCipherSpec
    };

    enum class Outcome
    {
        Done, // the record was read
        Wait, // it needs what is not known yet (the version, a secret): keep it for later
        Fail,
    };

    struct Direction
    {
        explicit Direction(bool client, std::size_t maxHello);
        bool client;
        std::vector<std::uint8_t> held; // stream bytes not yet read: a partial record, or waiting ones
        bool waiting = false;
        WireTime waitingSince = 0;
        Phase phase = Phase::Handshake;
        std::unique_ptr<RecordCipher> cipher;
        SecretBytes secret; // TLS 1.3: the current traffic secret
        HandshakeReader handshake;
        bool finishedSeen = false;
        bool keyUpdateSeen = false;
        unsigned skipped = 0; // client records that did not open under the handshake keys
    };

    void bytes(Direction& direction, std::span<const std::uint8_t> bytes, WireTime time);
    std::size_t readRecords(Direction& direction, std::span<const std::uint8_t> bytes, WireTime time);
    Outcome record(Direction& direction,
                   std::span<const std::uint8_t> header,
                   std::span<const std::uint8_t> payload,
                   WireTime time);
    Outcome protectedRecord(Direction& direction,
                            std::span<const std::uint8_t> header,
                            std::span<const std::uint8_t> payload,
                            WireTime time);
    Outcome ensureCipher(Direction& direction);
    bool handshakeBytes(Direction& direction, std::span<const std::uint8_t> bytes);
    void handshakeMessage(Direction& direction, std::uint8_t type, std::span<const std::uint8_t> body);
    void afterRecord(Direction& direction);
    void fail();
    void giveUpWaiting();

    const WireLimits& m_limits;
    const KeyLog& m_keyLog;
    Receiver& m_receiver;
    Direction m_client;
    Direction m_server;
    std::vector<std::uint8_t> m_plain; // the record being decrypted

    bool m_failed = false;
    bool m_keyNeverCame = false;
    bool m_haveClientRandom = false;
    KeyLog::ClientRandom m_clientRandom{};
    std::array<std::uint8_t, 32> m_serverRandom{};
    std::string m_serverName;
    const CipherSuite* m_suite = nullptr; // known once the ServerHello is read
    std::uint64_t m_decrypted = 0;
};
