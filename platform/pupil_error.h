// Errors that know what they mean for the pupil.  The error box leads with a
// short Chinese sentence (lead()) and keeps the technical detail (what()),
// which also goes to stderr.  Code that knows more about where an error
// happened ("the picture of question 3") replaces the lead on the way out
// with withLead(), so the error keeps its type and its detail.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace ui {

class PupilError : public std::runtime_error {
public:
    // lead: UTF-8, one short sentence; detail: UTF-8, for the log.
    PupilError(std::string lead, const std::string& detail) : std::runtime_error(detail), lead_(std::move(lead)) {}
    const std::string& lead() const noexcept { return lead_; }
    void setLead(std::string lead) { lead_ = std::move(lead); }
    // The detail as the error box shows it, after the lead: the log's
    // detail unless a kind of error can say it in Chinese.
    virtual std::string shownDetail() const { return what(); }

private:
    std::string lead_;
};

// Runs f; a PupilError it raises leaves with the given lead instead of its own.
template <class F>
decltype(auto) withLead(const std::string& utf8Lead, F&& f) {
    try {
        return std::forward<F>(f)();
    } catch (PupilError& e) {
        e.setLead(utf8Lead);
        throw;
    }
}

}  // namespace ui
