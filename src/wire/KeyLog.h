#pragma once

#include "wire/SecretBytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

// The secrets of an NSS key log ("LABEL <client random hex> <secret hex>" lines, '#' comments),
// as browsers write it when SSLKEYLOGFILE is set. The file is read as it grows and from its
// start again when it is replaced or truncated. Lines longer than kMaxLineLength are skipped,
// and at most kMaxEntries client randoms are kept (the oldest go first). Secrets stay in memory
// only: they are never written, printed or traced, and are wiped when forgotten.
class KeyLog final
{
public:
    using ClientRandom = std::array<std::uint8_t, 32>;

    enum class Label
    {
        ClientRandom, // TLS 1.2 master secret
        ClientEarlyTraffic,
        ClientHandshakeTraffic,
        ServerHandshakeTraffic,
        ClientTraffic0,
        ServerTraffic0,
        Exporter,
        Count,
    };

    struct Entry
    {
        std::array<SecretBytes, std::size_t(Label::Count)> secrets;
        const SecretBytes& operator[](Label label) const { return secrets[std::size_t(label)]; }
    };

    static constexpr std::size_t kMaxLineLength = 512;
    static constexpr std::size_t kMaxEntries = 20000;
    // Bytes read from the file by one poll(); the rest waits for the next.
    static constexpr std::size_t kMaxReadPerPoll = 4 * 1024 * 1024;

    KeyLog() = default;
    KeyLog(const KeyLog&) = delete;
    KeyLog& operator=(const KeyLog&) = delete;
    ~KeyLog();

    // Follows this file from now on (empty: none). Nothing is read until poll(). With
    // `dropRead`, the file is one this program owns: after each poll the whole blocks already
    // read are given back to the file system (a hole is punched; the writers' offsets and the
    // file's size stay), so a key log that browsers append to for weeks holds at most the
    // lines not yet read on disk. Never set it for a file the user named.
    void setFile(std::string path, bool dropRead = false);
    const std::string& file() const { return m_path; }

    // Reads what the file gained since the last poll. Returns the number of secrets added.
    std::size_t poll();

    // Adds key log text directly (complete or partial lines, as a file read would deliver them).
    std::size_t addText(std::string_view text);

    const Entry* find(const ClientRandom& random) const;
    // Wipes and drops the secrets of one client random (its connection has ended).
    void forget(const ClientRandom& random);

    std::size_t entryCount() const { return m_entries.size(); }
    // Grows by one whenever a secret is added: a waiting connection looks again only then.
    std::uint64_t generation() const { return m_generation; }

private:
    struct RandomHash
    {
        std::size_t operator()(const ClientRandom& random) const;
    };

    bool addLine(std::string_view line);
    void dropReadBlocks(int fd, std::uint64_t blockSize);
    void restartFile();

    std::unordered_map<ClientRandom, Entry, RandomHash> m_entries;
    std::deque<ClientRandom> m_order; // insertion order, for eviction (may name forgotten ones)
    std::string m_partial;            // an unfinished last line
    bool m_skippingLine = false;      // inside a line longer than the bound
    std::uint64_t m_generation = 0;

    std::string m_path;
    std::uint64_t m_device = 0;
    std::uint64_t m_inode = 0;
    std::uint64_t m_offset = 0;
    std::uint64_t m_dropped = 0; // bytes from the start already given back (dropRead)
    bool m_dropRead = false;
    bool m_known = false; // m_device/m_inode describe the file being read
};
