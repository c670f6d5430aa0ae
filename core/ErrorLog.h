// The process-wide error log of a run: one line per failure, a file name, a
// separator and the reason. Workers, the codec library's callback and the
// probes add lines from any thread; the GUI reads them after the run and the
// log window empties the log when it closes.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

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

private:
    mutable std::mutex FLock;
    std::vector<std::string> FLines;
};

extern TErrorLog ErrorLog;
