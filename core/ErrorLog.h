// The process-wide error log of a run: one line per failure, a file name, a
// separator and the reason. Workers, the codec library's callback and the
// probes add lines from any thread; the GUI reads them after the run and the
// log window takes out the lines it showed when it closes.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class TErrorCapture;

class TErrorLog {
public:
    // Appends one whole line; lines from different threads never mix.
    void PutErrorMsg(const std::string& Msg);
    // "FileName: Reason", the form of workers, the codec callback and the
    // metadata copier.
    void PutFileError(const std::string& FileName, const std::string& Reason);
    // "FileName:Reason", the form of the header probes.
    void PutProbeError(const std::string& FileName, const std::string& Reason);

    int32_t GetErrorCount() const;
    std::vector<std::string> Lines() const; // a copy, in the order added
    void Clear();

    // Lines are numbered 0, 1, 2, ... in the order added, for the life of
    // the log: a number taken out is never given again. For a reader that
    // shows lines while others still add them.
    // The lines numbered Next and on (all held, when Next is below the
    // oldest); Next becomes the number the next line added will get.
    std::vector<std::string> LinesFrom(uint64_t& Next) const;
    // Takes out every line numbered below Next; later ones stay.
    void ClearBefore(uint64_t Next);
    // The number the next line added will get: lines added between two
    // looks are counted even when a reader has taken them out meanwhile.
    uint64_t NextNumber() const;

private:
    friend class TErrorCapture;
    void Put(std::string Line, const std::string& Reason);
    mutable std::mutex FLock;
    std::vector<std::string> FLines;
    uint64_t FFirst = 0; // the number of FLines[0]
};

extern TErrorLog ErrorLog;

// While one lives on a thread, the lines that thread adds to any error log are
// kept here instead. For calls whose failure is an expected answer (a trial
// encoding that does not fit its buffer) or that the caller reports itself in
// one line of its own, with the file's name and the reason collected here.
// Captures nest: the innermost one of the thread takes the lines.
class TErrorCapture {
public:
    TErrorCapture();
    ~TErrorCapture();
    TErrorCapture(const TErrorCapture&) = delete;
    TErrorCapture& operator=(const TErrorCapture&) = delete;
    // The reasons kept (without their file names), joined by "; "; empty
    // when nothing was added.
    std::string Text() const;
    // Why, followed by Text() ("; " between) unless Why holds that already.
    std::string AddedTo(const std::string& Why) const;
    // Hands the kept lines on, whole and in order, to the logs (or the outer
    // capture) they were meant for, and forgets them: for a call that
    // succeeded after all but warned on the way.
    void Forward();

private:
    friend class TErrorLog;
    struct TKept {
        TErrorLog* Log;
        std::string Line, Reason;
    };
    // The capture of the calling thread, or null.
    static TErrorCapture* Current();
    TErrorCapture* FOuter;
    std::vector<TKept> FKept;
};
