// A double of the processes service: records every start, priority change,
// opened document and library request; a started child runs for as many
// exit-code polls as the test says.
#pragma once

#include "platform/processes.h"

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform {

class RecordingProcesses final : public IProcesses {
public:
    struct Child final : IChildProcess {
        Child(RecordingProcesses& owner) : Owner(owner) {}
        uint32_t ExitCode() override {
            ++Owner.Polls;
            if (Owner.PollsUntilExit > 0) {
                --Owner.PollsUntilExit;
                return StillActive;
            }
            return Owner.ChildExitCode;
        }
        RecordingProcesses& Owner;
    };

    std::unique_ptr<IChildProcess> Create(const ProcessStart& start, std::string& error) override {
        Started.push_back(start);
        if (CreateThrows) throw std::runtime_error("out of handles");
        if (!CreateError.empty()) {
            error = CreateError;
            return nullptr;
        }
        return std::make_unique<Child>(*this);
    }
    void SetOwnPriority(uint32_t priorityClass) override { OwnPriorities.push_back(priorityClass); }
    bool OpenDocument(const std::string& fileOrUri, std::string& error) override {
        Opened.push_back(fileOrUri);
        error = OpenError;
        return OpenError.empty();
    }
    uintptr_t LoadLibrary(const std::string& fileName) override {
        LibraryRequests.push_back(fileName);
        const auto found = Libraries.find(fileName);
        if (found == Libraries.end()) return 0;
        ++Loaded;
        return reinterpret_cast<uintptr_t>(&found->second);
    }
    void* LibraryEntry(uintptr_t library, const std::string& name) override {
        if (!library) return nullptr;
        auto& entries = *reinterpret_cast<std::map<std::string, void*>*>(library);
        const auto found = entries.find(name);
        return found == entries.end() ? nullptr : found->second;
    }
    void FreeLibrary(uintptr_t library) override {
        if (library) --Loaded;
    }

    std::vector<ProcessStart> Started;
    std::string CreateError;      // set: every start fails with these words
    bool CreateThrows = false;    // every start raises an error instead
    int PollsUntilExit = 0;       // polls a child still answers StillActive
    uint32_t ChildExitCode = 0;
    int Polls = 0;
    std::vector<uint32_t> OwnPriorities;
    std::vector<std::string> Opened;
    std::string OpenError;        // set: opening fails with these words
    // Libraries by full file name, each with its entries.
    std::map<std::string, std::map<std::string, void*>> Libraries;
    std::vector<std::string> LibraryRequests;
    int Loaded = 0;               // libraries loaded and not yet freed
};

}  // namespace platform
