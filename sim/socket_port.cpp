// The hid_* functions of libquorvant-hidsim.so reach the receiver held by the
// quorvant-pen daemon. Without a daemon the receiver is simply not there.
#include "port.h"
#include "wire.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace sim {

namespace {

// How long an answer may take beyond the wait the request itself asked for,
// before the daemon is taken for hung.
constexpr int kAnswerGraceMs = 5000;
// Nothing larger fits a HID output report; refusing it here keeps request
// lines short.
constexpr std::size_t kLongestWrite = 4096;

class SocketPort : public Port
{
public:
    std::vector<int> interfaces() override
    {
        std::vector<std::string> words;
        // Enumeration is harmless to repeat, so a connection left over from
        // a daemon that has since been restarted gets one more try.
        if (!ask("enum", kAnswerGraceMs, words) && !ask("enum", kAnswerGraceMs, words))
            return {};
        std::vector<int> numbers;
        for (const std::string &word : words) {
            int n = 0;
            if (toInt(word, n))
                numbers.push_back(n);
        }
        return numbers;
    }

    int open(int interfaceNumber) override
    {
        std::vector<std::string> words;
        int handle = -1;
        if (!ask("open " + std::to_string(interfaceNumber), kAnswerGraceMs, words) || words.empty()
            || !toInt(words[0], handle))
            return -1;
        return handle;
    }

    int write(int handle, const std::uint8_t *data, std::size_t length) override
    {
        if (!data || length > kLongestWrite)
            return -1;
        std::vector<std::string> words;
        int n = -1;
        if (!ask("write " + std::to_string(handle) + " " + wire::toHex(data, length), kAnswerGraceMs, words)
            || words.empty() || !toInt(words[0], n))
            return -1;
        return n;
    }

    int read(int handle, std::uint8_t *data, std::size_t length, int timeoutMs) override
    {
        if (!data && length > 0)
            return -1;
        const int wait = timeoutMs < 0 ? -1 : timeoutMs + kAnswerGraceMs;
        std::vector<std::string> words;
        int n = -1;
        // A read waits in the daemon; on a connection of its own it holds up
        // no other thread's writes meanwhile.
        if (!ask(*readerLine(handle),
                "read " + std::to_string(handle) + " " + std::to_string(length) + " "
                    + std::to_string(timeoutMs < 0 ? -1 : timeoutMs),
                wait, words)
            || words.empty() || !toInt(words[0], n))
            return -1;
        if (n <= 0)
            return n;
        Bytes report;
        if (words.size() < 2 || !wire::fromHex(words[1], report) || report.size() != std::size_t(n)
            || report.size() > length)
            return -1;
        std::copy(report.begin(), report.end(), data);
        return n;
    }

    void close(int handle) override
    {
        std::vector<std::string> words;
        ask("close " + std::to_string(handle), kAnswerGraceMs, words);
        std::lock_guard<std::mutex> lock(readersMutex);
        readers.erase(handle);
    }

private:
    static bool toInt(const std::string &word, int &value)
    {
        try {
            std::size_t used = 0;
            value = std::stoi(word, &used);
            return used == word.size();
        } catch (...) {
            return false;
        }
    }

    struct Line
    {
        std::mutex mutex;
        wire::Channel channel;
    };

    std::shared_ptr<Line> readerLine(int handle)
    {
        std::lock_guard<std::mutex> lock(readersMutex);
        std::shared_ptr<Line> &line = readers[handle];
        if (!line)
            line = std::make_shared<Line>();
        return line;
    }

    bool ask(const std::string &request, int timeoutMs, std::vector<std::string> &words)
    {
        return ask(shared, request, timeoutMs, words);
    }

    bool ask(Line &line, const std::string &request, int timeoutMs, std::vector<std::string> &words)
    {
        std::lock_guard<std::mutex> lock(line.mutex);
        if (!line.channel.connected() && !line.channel.connect(wire::socketPath()))
            return false;
        std::string answer;
        return line.channel.request(request, answer, timeoutMs) && wire::isOk(answer, &words);
    }

    Line shared;
    std::mutex readersMutex;
    std::map<int, std::shared_ptr<Line>> readers;
};

} // namespace

Port &port()
{
    // Never destroyed: the program may close its handle from a static
    // destructor after ours would have run.
    static Port *instance = new SocketPort;
    return *instance;
}

} // namespace sim
