#pragma once
// What the program's runs changed in the user's options file, kept in one state file per
// user that every run shares (two libraries may be open in two program windows at once):
// each destination's entry as it was before any run wrote to it, and as the last write
// left it. The first run to write takes the copy; the last run to end puts it back, and
// only if the entry is still as a run left it: a later change by the user or another
// program stays. A run that dies holds no lock any more and is counted out; what it left
// is put back by the last live run, or by the next one to start when none is live.
#include <QByteArray>
#include <QString>

#include <functional>

namespace tessaly {

class OptionsKeeper {
public:
    OptionsKeeper() = default;
    ~OptionsKeeper();  // counts the run out without putting anything back
    OptionsKeeper(const OptionsKeeper &) = delete;
    OptionsKeeper &operator=(const OptionsKeeper &) = delete;

    // The run is live from here on.
    void begin();
    // Runs change (a write to the user's options file) with the destination's entry noted
    // first; no other run reads or writes the file meanwhile. Begins the run if needed.
    bool write(const QByteArray &dest, const std::function<bool()> &change);
    // The run is over; the last live run puts back what the runs wrote.
    void end();

    static QString stateFolder();

private:
    void enter();  // under the lock
    int m_runLock = -1;
    QString m_runFile;
};

}  // namespace tessaly
