#include "sender.h"

#include "file_guard.h"
#include "outbox.h"
#include "pg.h"
#include "sqlite.h"
#include "upload.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

namespace classroom {

namespace {

class Steady : public SenderClock {
public:
    time_point now() const override { return std::chrono::steady_clock::now(); }
};

// How long a local statement waits for the program's own write.
constexpr int kBusyTimeoutMs = 5000;

}  // namespace

// Never destroyed: a thread left in a call to an unanswering server at the
// program's end may still ask it the time while statics are torn down.
const SenderClock& steadyClock() {
    static const Steady* clock = new Steady;
    return *clock;
}

Backoff::Backoff(duration first, duration cap) : first_(first), cap_(cap), wait_(first) {}

void Backoff::failed(time_point now) {
    if (failures_ == 0) wait_ = first_;
    next_ = now + wait_;
    wait_ = std::min(cap_, wait_ * 2);
    ++failures_;
}

void Backoff::succeeded() {
    failures_ = 0;
    wait_ = first_;
}

// What the thread and the object share.  The thread holds it too, so a
// thread left running after stop() still finds its state.
struct Sender::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    bool stopping = false;
    std::atomic<bool> stopSeen{false};  // stopping, readable without the lock
    bool woken = false;
    bool finished = false;
    std::atomic<int> attempts{0};  // counted as each call starts
    bool stopRequested = false;
    Sender* owner = nullptr;  // cleared by stop(): no signal after it

    template <class Send>
    void signal(Send&& send) {
        std::lock_guard lock(mutex);
        if (owner) send(*owner);
    }
};

namespace {

// One pass of the thread: the entries of the outbox up to the server.
class Pass {
public:
    // Once `stop` is set the pass touches nothing of its caller's any more
    // (the clock above all): stop() may have given up waiting for a call to
    // the server, and the caller's objects may be gone when it returns.
    Pass(const Sender::Options& options, const SenderClock& clock, const std::atomic<bool>& stop)
        : options_(options), clock_(clock), stop_(stop) {}

    // Sends what is due; returns the entries still unsent (-1: the local
    // file could not be read) and the problem of a failed try.
    std::pair<long long, std::string> run(Backoff& backoff, std::atomic<int>& attempts) {
        data::Database db;
        try {
            // Never creates the file; a file that is not ready yet (not
            // converted, no outbox) has nothing to send.
            if (!db.open(options_.databaseFile, SQLITE_OPEN_READWRITE)) return {-1, {}};
            sqlite3_busy_timeout(db.handle(), kBusyTimeoutMs);
            // The file's own triggers never run on the sender's writes either.
            sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
            data::guardAgainstFile(db.handle());
            for (;;) {
                if (stop_) return {-1, {}};
                const long long waiting = data::outbox::unsentCount(db.handle());
                if (waiting == 0 || !backoff.due(clock_.now())) return {waiting, {}};
                const auto entries = data::outbox::unsent(db.handle(), static_cast<std::size_t>(options_.batch));
                if (entries.empty()) return {waiting, {}};  // only unreadable ones left
                std::string problem = upload(entries, attempts);
                if (stop_) return {-1, {}};  // what the server took is sent again, and ignored, next time
                if (!problem.empty() && refused_ && entries.size() > 1) {
                    // What the server refuses stays refused: it must not
                    // hold back the rest, which go one by one.
                    std::vector<std::string> taken;
                    for (const auto& e : entries)
                        if (!stop_ && upload({e}, attempts).empty()) taken.push_back(e.id);
                    data::outbox::markSent(db.handle(), taken);
                }
                if (!problem.empty()) {
                    backoff.failed(clock_.now());
                    return {data::outbox::unsentCount(db.handle()), problem};
                }
                backoff.succeeded();
                std::vector<std::string> ids;
                for (const auto& e : entries) ids.push_back(e.id);
                data::outbox::markSent(db.handle(), ids);
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "aoshu: class outbox: %s\n", e.what());
            return {-1, {}};
        }
    }

private:
    // "" when the server has them all.  A connection kept from an earlier
    // pass may have gone stale (a restarted server): one fresh try then.
    std::string upload(const std::vector<data::outbox::Entry>& entries, std::atomic<int>& attempts) {
        for (int round = 0; round < 2; ++round) {
            const bool reused = connection_.has_value();
            try {
                ++attempts;
                if (!connection_) connection_.emplace(OpenServer(options_.server));
                Upload(*connection_, entries);
                return {};
            } catch (const ServerError& e) {
                connection_.reset();
                refused_ = e.refused();
                if (reused && !refused_) continue;
                std::fprintf(stderr, "aoshu: class server: %s\n", e.what());
                return e.sentence();
            } catch (const std::exception& e) {
                connection_.reset();
                refused_ = false;
                std::fprintf(stderr, "aoshu: class server: %s\n", e.what());
                return "班级服务器出错。";
            }
        }
        return "班级服务器出错。";
    }

    const Sender::Options& options_;
    const SenderClock& clock_;
    const std::atomic<bool>& stop_;
    std::optional<Connection> connection_;
    bool refused_ = false;  // the last failure was a refusal of the data
};

}  // namespace

Sender::Sender(Options options, QObject* parent)
    : QObject(parent), shared_(std::make_shared<Shared>()), options_(std::move(options)) {
    shared_->owner = this;
}

Sender::~Sender() { stop(); }

void Sender::start() {
    if (started_) return;
    started_ = true;
    std::thread([shared = shared_, options = options_] {
        try {
            const SenderClock& clock = options.clock ? *options.clock : steadyClock();
            Backoff backoff(options.firstRetry, options.longestRetry);
            Pass pass(options, clock, shared->stopSeen);
            long long shown = -2;
            std::string shownProblem;
            for (;;) {
                {
                    std::lock_guard lock(shared->mutex);
                    if (shared->stopping) break;
                    shared->woken = false;
                }
                const auto [waiting, problem] = pass.run(backoff, shared->attempts);
                if (shared->stopSeen) break;
                if (waiting != shown)
                    shared->signal([n = static_cast<int>(std::min<long long>(waiting, 1 << 30))](Sender& s) {
                        emit s.pending(n);
                    });
                if (problem != shownProblem)
                    shared->signal([p = QString::fromStdString(problem)](Sender& s) { emit s.serverState(p); });
                shown = waiting;
                shownProblem = problem;

                // The outbox is looked at every poll; the server is tried when
                // the back-off lets it, which may be sooner.
                auto wait = options.poll;
                if (waiting > 0 && backoff.failures() > 0) {
                    const auto untilRetry =
                        std::chrono::duration_cast<std::chrono::milliseconds>(backoff.nextTry() - clock.now());
                    wait = std::clamp(untilRetry, std::chrono::milliseconds(1), options.poll);
                }
                std::unique_lock lock(shared->mutex);
                shared->changed.wait_for(lock, wait, [&] { return shared->stopping || shared->woken; });
                if (shared->stopping) break;
            }
        } catch (...) {
            // Out of memory, at worst: the outbox keeps the entries for the next start.
            std::fputs("aoshu: the class sender stopped\n", stderr);
        }
        std::lock_guard lock(shared->mutex);
        shared->finished = true;
        shared->changed.notify_all();
    }).detach();
}

bool Sender::stop(std::chrono::milliseconds wait) {
    std::unique_lock lock(shared_->mutex);
    // The wait is spent once: a second stop (the destructor's) adds none.
    if (shared_->stopRequested) wait = std::chrono::milliseconds(0);
    shared_->stopRequested = true;
    shared_->owner = nullptr;
    shared_->stopping = true;
    shared_->stopSeen = true;
    shared_->changed.notify_all();
    if (!started_) return true;
    return shared_->changed.wait_for(lock, wait, [&] { return shared_->finished; });
}

void Sender::wake() {
    std::lock_guard lock(shared_->mutex);
    shared_->woken = true;
    shared_->changed.notify_all();
}

int Sender::attempts() const { return shared_->attempts; }

}  // namespace classroom
