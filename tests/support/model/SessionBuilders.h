#pragma once

// Clips, timelines and sessions for the tests of the layers above the model (the engine, the
// inspectors and the workspaces).

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/EditSession.h"

namespace velmora::test {

// A clip of the given kind ("video", "audio", …) on `lane`, reading from `inPoint`; name it
// "DJI_0001.MP4" and "DJI_0001 (Audio)" to pair a video with its audio.
inline EditSession::Clip clip(std::string id, std::string type, double start, double duration, int lane = 1,
                              std::string name = {}, double inPoint = 0)
{
    EditSession::Clip clip(std::move(id));
    clip.type = std::move(type);
    clip.startTime = start;
    clip.duration = duration;
    clip.inPoint = inPoint;
    clip.track = lane;
    if (!name.empty()) {
        clip.name = std::move(name);
    }
    return clip;
}

// The timeline "tl" ("Timeline 1") holding the clips, at `pps` pixels per second when given.
inline EditSession::Timeline timelineWith(std::vector<EditSession::Clip> clips,
                                          std::optional<double> pps = std::nullopt)
{
    EditSession::Timeline timeline;
    timeline.id = "tl";
    timeline.name = "Timeline 1";
    timeline.pixelsPerSecond = pps;
    timeline.clips = std::move(clips);
    return timeline;
}

// A 1920 × 1080 project at 30 fps whose one, active timeline "tl" holds the clips and markers,
// its clip timing normalised as a loaded project's is.
inline std::shared_ptr<EditSession> sessionWith(std::vector<EditSession::Clip> clips,
                                                std::vector<EditSession::Marker> markers = {},
                                                std::optional<double> pps = std::nullopt)
{
    auto session = std::make_shared<EditSession>();
    EditSession::Project project;
    project.name = "Test";
    project.width = 1920;
    project.height = 1080;
    project.fps = 30;
    project.activeTimelineId = "tl";
    session->project = project;
    EditSession::Timeline timeline = timelineWith(std::move(clips), pps);
    timeline.markers = std::move(markers);
    session->timelines.push_back(std::move(timeline));
    session->normalizeAllClipTiming();
    return session;
}

// The frames (at `fps`) at which the clips of the session's first timeline start, in order.
inline std::vector<int> startFrames(const EditSession& session, double fps)
{
    std::vector<int> frames;
    for (const EditSession::Clip& clip : session.timelines.front().clips)
        frames.push_back(static_cast<int>(std::lround(clip.startTime.value_or(-1) * fps)));
    std::sort(frames.begin(), frames.end());
    return frames;
}

} // namespace velmora::test
