// A fresh copy of the seed database and the real window on it, run on the
// offscreen platform with a 1280 x 1024 screen.  Message boxes, the error
// box, pauses and the end of the program are recorded instead of blocking.
#pragma once

#include "application.h"
#include "datam.h"
#include "gbk.h"
#include "mainform.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class ProgramTest : public ::testing::Test {
public:
    void SetUp() override;
    void TearDown() override;
    // The database each test starts from a copy of.
    virtual std::string databaseToCopy() const { return SEED_DATABASE; }

    // Drops the window and starts again on a new copy of the seed database.
    void freshDatabase();
    // Creates the window and the data module, as the process entry does.
    void create();
    // create(), show the window, and run the three start-up ticks.
    void start();
    void tick(int times = 1);
    // Runs a handler as the event loop does: an error it raises ends it and
    // is shown in the error box (recorded in errors).
    void handle(const std::function<void()>& handler);

    // Runs a handler that may end the program; returns the exit status, or
    // -1 when the program went on.
    template <class F>
    int endsWith(F&& handler) {
        try {
            handler();
        } catch (const ui::Terminated& t) {
            return t.status;
        }
        return -1;
    }

    // Direct access to the database file, beside the program's connection.
    void dbExec(const std::string& utf8Sql);
    long long dbInt(const std::string& utf8Sql);
    std::string dbText(const std::string& utf8Sql);  // UTF-8

    static std::string u8(const std::string& gbkText) { return gbk::toUtf8(gbkText); }

    QTemporaryDir dir;
    std::string dbPath;
    std::unique_ptr<data::Tdatam> datam;
    std::unique_ptr<TmainForm> form;
    std::vector<std::pair<std::string, std::string>> messageBoxes;  // text, caption (UTF-8)
    std::vector<std::string> errors;
    std::vector<int> pauses;
};
