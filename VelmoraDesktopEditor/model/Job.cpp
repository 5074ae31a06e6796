#include "model/Job.h"

#include "model/BitrateLimit.h"
#include "model/FrameRateLimit.h"
#include "model/JsonDecoding.h"

namespace velmora {

Job::Output Job::Output::decode(const KeyedContainer& c)
{
    Output o;
    o.fps = FrameRateLimit::decodeFps(c, "fps");
    o.fpsNum = c.decodeIfPresent<std::int64_t>("fpsNum");
    o.fpsDen = c.decodeIfPresent<std::int64_t>("fpsDen");
    FrameRateLimit::checkFpsFraction(c, "fpsNum", o.fpsNum, o.fpsDen);
    o.maxWidth = c.decodeIfPresent<std::int64_t>("maxWidth");
    o.targetBitrate = BitrateLimit::decodeBitrate(c, "targetBitrate");
    o.container = c.decodeIfPresent<std::string>("container");
    return o;
}

Job::Grade Job::Grade::decode(const KeyedContainer& c)
{
    return Grade{c.decode<std::string>("lutCube")};
}

Job Job::decode(const KeyedContainer& c)
{
    Job job;
    job.sourceInSeconds = c.decodeIfPresent<double>("sourceInSeconds");
    job.sourceOutSeconds = c.decodeIfPresent<double>("sourceOutSeconds");
    job.version = c.decode<std::int64_t>("version");
    job.output = c.decodeIfPresent<Output>("output");
    job.grade = c.decode<Grade>("grade");
    return job;
}

Job Job::fromJSON(std::string_view bytes)
{
    const nlohmann::json document = JsonDecoding::parse(bytes);
    return decode(KeyedContainer::root(document));
}

JobToolProbe JobToolProbe::decode(const KeyedContainer& c)
{
    return JobToolProbe{c.decodeIfPresent<std::string>("tool")};
}

} // namespace velmora
