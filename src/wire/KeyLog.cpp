#include "wire/KeyLog.h"

#include <openssl/crypto.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <unordered_set>
#include <vector>

namespace {

struct LabelName
{
    std::string_view text;
    KeyLog::Label label;
};

constexpr LabelName kLabels[] = {
    {"CLIENT_RANDOM", KeyLog::Label::ClientRandom},
    {"CLIENT_EARLY_TRAFFIC_SECRET", KeyLog::Label::ClientEarlyTraffic},
    {"CLIENT_HANDSHAKE_TRAFFIC_SECRET", KeyLog::Label::ClientHandshakeTraffic},
    {"SERVER_HANDSHAKE_TRAFFIC_SECRET", KeyLog::Label::ServerHandshakeTraffic},
    {"CLIENT_TRAFFIC_SECRET_0", KeyLog::Label::ClientTraffic0},
    {"SERVER_TRAFFIC_SECRET_0", KeyLog::Label::ServerTraffic0},
    {"EXPORTER_SECRET", KeyLog::Label::Exporter},
};

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Decodes exactly `out.size()` bytes from twice as many hex digits.
bool decodeHex(std::string_view text, std::span<std::uint8_t> out)
{
    if (text.size() != out.size() * 2)
        return false;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int high = hexValue(text[2 * i]);
        const int low = hexValue(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        out[i] = std::uint8_t(high << 4 | low);
    }
    return true;
}

std::string_view nextField(std::string_view& line)
{
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        line = {};
        return {};
    }
    line.remove_prefix(start);
    const std::size_t end = std::min(line.find_first_of(" \t"), line.size());
    const std::string_view field = line.substr(0, end);
    line.remove_prefix(end);
    return field;
}

void wipe(std::string& text)
{
    if (!text.empty())
        OPENSSL_cleanse(text.data(), text.size());
    text.clear();
}

} // namespace

KeyLog::~KeyLog()
{
    wipe(m_partial);
}

std::size_t KeyLog::RandomHash::operator()(const ClientRandom& random) const
{
    // Hashed whole: the file is not trusted to hold random randoms.
    return std::hash<std::string_view>()(std::string_view(reinterpret_cast<const char*>(random.data()), random.size()));
}

void KeyLog::setFile(std::string path, bool dropRead)
{
    m_path = std::move(path);
    m_dropRead = dropRead;
    m_known = false;
    m_offset = 0;
    m_dropped = 0;
    wipe(m_partial);
    m_skippingLine = false;
}

void KeyLog::restartFile()
{
    m_offset = 0;
    m_dropped = 0;
    wipe(m_partial);
    m_skippingLine = false;
}

std::size_t KeyLog::poll()
{
    if (m_path.empty())
        return 0;
    const int fd = ::open(m_path.c_str(), (m_dropRead ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0)
        return 0;
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return 0;
    }
    const bool replaced = !m_known || std::uint64_t(info.st_dev) != m_device || std::uint64_t(info.st_ino) != m_inode;
    if (replaced || std::uint64_t(info.st_size) < m_offset)
        restartFile();
    m_known = true;
    m_device = std::uint64_t(info.st_dev);
    m_inode = std::uint64_t(info.st_ino);

    std::size_t added = 0;
    std::size_t budget = kMaxReadPerPoll;
    std::vector<char> buffer(64 * 1024);
    while (budget > 0) {
        const ssize_t count = ::pread(fd, buffer.data(), std::min(buffer.size(), budget), off_t(m_offset));
        if (count <= 0)
            break;
        m_offset += std::uint64_t(count);
        budget -= std::size_t(count);
        added += addText(std::string_view(buffer.data(), std::size_t(count)));
    }
    OPENSSL_cleanse(buffer.data(), buffer.size());
    if (m_dropRead)
        dropReadBlocks(fd, std::uint64_t(info.st_blksize));
    ::close(fd);
    return added;
}

void KeyLog::dropReadBlocks(int fd, std::uint64_t blockSize)
{
    // Whole blocks only, so that the block holding the unread rest stays untouched; writers
    // append with O_APPEND and never come back into the hole.
    if (blockSize == 0)
        blockSize = 4096;
    const std::uint64_t end = m_offset / blockSize * blockSize;
    if (end <= m_dropped)
        return;
    if (::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t(m_dropped), off_t(end - m_dropped)) == 0)
        m_dropped = end;
}

std::size_t KeyLog::addText(std::string_view text)
{
    std::size_t added = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view piece = text.substr(0, end);
        if (!m_skippingLine) {
            if (m_partial.size() + piece.size() > kMaxLineLength) {
                m_skippingLine = true;
                wipe(m_partial);
            } else {
                m_partial.append(piece);
            }
        }
        if (end == std::string_view::npos)
            break;
        if (!m_skippingLine && addLine(m_partial))
            ++added;
        wipe(m_partial);
        m_skippingLine = false;
        text.remove_prefix(end + 1);
    }
    return added;
}

bool KeyLog::addLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const std::string_view labelText = nextField(line);
    if (labelText.empty() || labelText.front() == '#')
        return false;
    const auto known = std::find_if(std::begin(kLabels), std::end(kLabels),
                                    [labelText](const LabelName& name) { return name.text == labelText; });
    if (known == std::end(kLabels))
        return false;
    ClientRandom random{};
    if (!decodeHex(nextField(line), random))
        return false;
    const std::string_view secretText = nextField(line);
    if (!nextField(line).empty() || secretText.empty() || secretText.size() % 2 != 0 ||
        secretText.size() > 2 * SecretBytes::kCapacity)
        return false;
    std::array<std::uint8_t, SecretBytes::kCapacity> secret{};
    const std::size_t secretSize = secretText.size() / 2;
    const bool decoded = decodeHex(secretText, std::span(secret).first(secretSize));
    SecretBytes value(std::span<const std::uint8_t>(secret.data(), secretSize));
    OPENSSL_cleanse(secret.data(), secret.size());
    if (!decoded)
        return false;

    auto [it, inserted] = m_entries.try_emplace(random);
    it->second.secrets[std::size_t(known->label)] = value;
    ++m_generation;
    if (inserted) {
        m_order.push_back(random);
        while (m_entries.size() > kMaxEntries && !m_order.empty()) {
            m_entries.erase(m_order.front());
            m_order.pop_front();
        }
        if (m_order.size() > 2 * kMaxEntries) {
            // Forgotten randoms linger in the order list: keep the latest place of each live one.
            std::deque<ClientRandom> order;
            std::unordered_set<ClientRandom, RandomHash> seen;
            for (auto place = m_order.rbegin(); place != m_order.rend(); ++place) {
                if (m_entries.count(*place) && seen.insert(*place).second)
                    order.push_front(*place);
            }
            m_order.swap(order);
        }
    }
    return true;
}

const KeyLog::Entry* KeyLog::find(const ClientRandom& random) const
{
    const auto it = m_entries.find(random);
    return it == m_entries.end() ? nullptr : &it->second;
}

void KeyLog::forget(const ClientRandom& random)
{
    m_entries.erase(random);
}
