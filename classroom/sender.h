// The sender on a pupil's machine: a thread of its own that takes the
// gradings from the class outbox of the local database (data/outbox.h, its
// own SQLite connection to the file) to the class server and marks them
// sent.  The pupil never waits for it: when the server is down, slow or
// refuses, the entries stay in the outbox and the sender tries again later,
// waiting longer after each failure (Backoff), and at the next start.
//
// Entries go up under their ids, which the server takes once only, so an
// entry the server took just before the program ended (and that was not
// marked sent here) is sent again harmlessly.
//
// What it finds comes back as the queued signal pending(); nothing it does
// throws out of its thread.
#pragma once

#include <QObject>

#include <chrono>
#include <memory>
#include <string>

namespace classroom {

// Time for the sender's decisions; tests put a fake one in its place.
class SenderClock {
public:
    using time_point = std::chrono::steady_clock::time_point;
    virtual ~SenderClock() = default;
    virtual time_point now() const = 0;
};
const SenderClock& steadyClock();

// When to try again after failures: first after `first`, then twice as long
// after each further failure, never longer than `cap`; a success ends it.
class Backoff {
public:
    using duration = std::chrono::milliseconds;
    using time_point = SenderClock::time_point;

    explicit Backoff(duration first = std::chrono::seconds(2), duration cap = std::chrono::minutes(5));
    void failed(time_point now);
    void succeeded();
    bool due(time_point now) const { return failures_ == 0 || now >= next_; }
    time_point nextTry() const { return next_; }
    int failures() const { return failures_; }

private:
    duration first_;
    duration cap_;
    duration wait_;
    time_point next_{};
    int failures_ = 0;
};

class Sender : public QObject {
    Q_OBJECT
public:
    struct Options {
        std::string databaseFile;   // the program's database (SQLite)
        std::string server;         // libpq URI of the class server
        std::chrono::milliseconds poll = std::chrono::seconds(2);  // looks for new entries this often
        std::chrono::milliseconds firstRetry = std::chrono::seconds(2);
        std::chrono::milliseconds longestRetry = std::chrono::minutes(5);
        const SenderClock* clock = nullptr;  // nullptr: the steady clock
        int batch = 100;                     // entries per upload
    };

    explicit Sender(Options options, QObject* parent = nullptr);
    // stop(1 s).
    ~Sender() override;

    void start();
    // Asks the thread to end and waits up to `wait` for it.  A thread still
    // inside a server call after that ends on its own when the call returns
    // (at most the connection timeout later) and no longer signals.  True
    // when it has ended.
    bool stop(std::chrono::milliseconds wait = std::chrono::seconds(1));
    // Look at the outbox now (and try the server if it is due).
    void wake();

    // The number of server calls tried so far (for tests).
    int attempts() const;

signals:
    // The entries still to send after a look at the outbox; -1 when the
    // local file could not be read.  Queued to the receiver's thread.
    void pending(int count);
    // The reason of the latest failed try (Chinese), empty after a success.
    void serverState(QString problem);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    Options options_;
    bool started_ = false;
};

}  // namespace classroom
