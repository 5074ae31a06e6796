#pragma once

#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "export_workspaces/JobExporter.h"

namespace velmora::test {

// Calls of one kind that block their (worker) thread until the test answers them.
template <typename Request, typename Result>
class BlockingCalls {
public:
    struct Call {
        Request request;
        std::function<void(const TimelineExportProgress&)> progress; // exports only
        std::function<bool()> isCancelled;                           // exports only
        std::promise<Result> answer;
        bool answered = false; // written by the test thread only
    };

    // On the worker thread: records the call and waits for its answer.
    Result wait(Request request, std::function<void(const TimelineExportProgress&)> progress = {},
                std::function<bool()> isCancelled = {})
    {
        auto call = std::make_shared<Call>();
        call->request = std::move(request);
        call->progress = std::move(progress);
        call->isCancelled = std::move(isCancelled);
        std::future<Result> future = call->answer.get_future();
        {
            const std::lock_guard lock(mutex_);
            if (abandoned_)
                throw std::runtime_error("abandoned");
            calls_.push_back(call);
        }
        arrived_.notify_all();
        return future.get();
    }

    // The i-th call (0 first), waiting up to a minute for it to arrive.
    Call& at(std::size_t i)
    {
        std::unique_lock lock(mutex_);
        if (!arrived_.wait_for(lock, std::chrono::seconds(60), [&] { return calls_.size() > i; }))
            throw std::runtime_error("the expected call never came");
        return *calls_[i];
    }
    std::size_t count() const
    {
        const std::lock_guard lock(mutex_);
        return calls_.size();
    }
    void answer(std::size_t i, Result result)
    {
        Call& call = at(i);
        call.answered = true;
        call.answer.set_value(std::move(result));
    }
    void fail(std::size_t i, std::exception_ptr error)
    {
        Call& call = at(i);
        call.answered = true;
        call.answer.set_exception(std::move(error));
    }
    // Also fails every call that arrives later.
    void abandonPending()
    {
        {
            const std::lock_guard lock(mutex_);
            abandoned_ = true;
        }
        for (std::size_t i = 0; i < count(); ++i)
            if (!at(i).answered)
                fail(i, std::make_exception_ptr(std::runtime_error("abandoned")));
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::shared_ptr<Call>> calls_;
    bool abandoned_ = false; // guarded by mutex_
};

// Stands in for the export engine: a test decides when, and in which order, exports and
// renders end, and with what.
class FakeJobExporter final : public JobExporter {
public:
    using ExportCall = BlockingCalls<JobExportRequest, ExportResult>::Call;
    using PreviewCall = BlockingCalls<JobPreviewRequest, JobPreviewStill>::Call;

    ExportResult exportJob(const JobExportRequest& request,
                           std::function<void(const TimelineExportProgress&)> progress,
                           std::function<bool()> isCancelled) override
    {
        return exports_.wait(request, std::move(progress), std::move(isCancelled));
    }
    JobPreviewStill renderPreviewFrame(const JobPreviewRequest& request) override { return previews_.wait(request); }

    ExportCall& exportCall(std::size_t i) { return exports_.at(i); }
    PreviewCall& previewCall(std::size_t i) { return previews_.at(i); }
    std::size_t exportCount() const { return exports_.count(); }
    std::size_t previewCount() const { return previews_.count(); }

    void finishExport(std::size_t i, ExportResult result) { exports_.answer(i, std::move(result)); }
    void failExport(std::size_t i, std::exception_ptr error) { exports_.fail(i, std::move(error)); }
    void finishPreview(std::size_t i, JobPreviewStill still) { previews_.answer(i, std::move(still)); }
    void failPreview(std::size_t i, std::exception_ptr error) { previews_.fail(i, std::move(error)); }

    // Ends every call still waiting, and every later one, so no worker thread outlives the test
    // blocked.
    void abandonPending()
    {
        exports_.abandonPending();
        previews_.abandonPending();
    }

private:
    BlockingCalls<JobExportRequest, ExportResult> exports_;
    BlockingCalls<JobPreviewRequest, JobPreviewStill> previews_;
};

} // namespace velmora::test
