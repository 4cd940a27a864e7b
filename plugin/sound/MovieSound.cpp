#include "sound/MovieSound.h"

#include "Records.h"
#include "SWFStream.h"
#include "Tags.h"
#include "TagsModern.h"
#include "TagCodes.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace reelfinch::plugin::sound {

namespace {

// Envelope levels: 32768 is the sound as it is.
constexpr float kEnvelopeUnit = 32768.0f;
// An MP3 stream block starts with its sample count and seek samples.
constexpr size_t kMp3BlockHeader = 4;
// ButtonSoundChar0..3 of DefineButtonSound, by transition.
constexpr int kOverUpToIdle = 0;
constexpr int kIdleToOverUp = 1;
constexpr int kOverUpToOverDown = 2;
constexpr int kOverDownToOverUp = 3;
// Button states as the timeline numbers them.
constexpr int kStateUp = 0;
constexpr int kStateOver = 1;
constexpr int kStateDown = 2;

const uint8_t* BodyOf(const CTag* tag, size_t& size)
{
    size = 0;
    auto* raw = dynamic_cast<const CRawBodyTag*>(tag);
    if (!raw || !raw->m_pData || !raw->m_pData->GetData())
        return nullptr;
    CSWFStream* body = raw->m_pData->GetData();
    size = body->GetSize();
    return body->GetBuffer();
}

SoundFormat FormatOf(const CSoundParametersItem& p)
{
    return SoundFormat::fromFields(p.m_Format, p.m_Rate, p.m_Size, p.m_Type);
}

// A stream's sound is about to run dry with less than this queued: the output's next requests would find a gap.
constexpr size_t kStreamLowWater = kMixRate / 25;
// A frame that follows its stream lasts at most this many frame periods.
constexpr double kMaxStreamFrame = 4;

} // namespace

bool IsFrameSoundTag(uint16_t code)
{
    return code == kTagStartSound || code == kTagStartSound2 || code == kTagSoundStreamBlock;
}

PlayInfo PlayInfoFrom(const CSoundInfoItem& item)
{
    PlayInfo info;
    if (item.m_HasInPoint)
        info.inPoint = item.m_InPoint;
    if (item.m_HasOutPoint)
        info.outPoint = item.m_OutPoint;
    if (item.m_HasLoops)
        info.loops = std::max<uint32_t>(1, item.m_LoopCount);
    if (item.m_pEnvelope)
        for (int i = 0; i < item.m_pEnvelope->GetItemCount(); ++i)
            if (auto* point = dynamic_cast<const CSoundEnvelopeItem*>(item.m_pEnvelope->GetItem(i)))
                info.envelope.push_back(EnvelopePoint { point->m_Pos44,
                    std::min(point->m_LeftLevel / kEnvelopeUnit, 1.0f),
                    std::min(point->m_RightLevel / kEnvelopeUnit, 1.0f) });
    // Points out of order are taken in order of position.
    std::stable_sort(info.envelope.begin(), info.envelope.end(),
        [](const EnvelopePoint& a, const EnvelopePoint& b) { return a.position < b.position; });
    return info;
}

struct MovieSound::Stream {
    const CTag* head = nullptr;
    SoundFormat format;
    std::unique_ptr<NativeDecoder> decoder;
    Resampler resampler;
    int startFrame = 0;
    int lastFrame = -1;
    bool fed = false; // the last frame entered had a block
    std::vector<int16_t> native;
    std::vector<int16_t> stereo;
};

MovieSound::MovieSound() = default;

MovieSound::~MovieSound()
{
    // The output pulls from the mixer on its own thread: it goes first.
    m_Output.reset();
}

void MovieSound::setOutput(std::unique_ptr<SoundOutput> output)
{
    m_Output.reset();
    m_Output = std::move(output);
    m_Clock = 0;
    m_SamplesMixed = 0;
}

void MovieSound::openDefaultOutput(const std::string& streamName)
{
    setOutput(OpenDefaultOutput(m_Mixer, streamName));
}

void MovieSound::reset()
{
    m_Mixer.stopAll();
    m_Sounds.clear();
    m_Clips.clear();
    m_ButtonSounds.clear();
    m_ClassNames.clear();
    m_Streams.clear();
    m_ScriptLevels.clear();
    m_Mixer.setMasterTransform({});
    m_Mixer.forgetOwners();
}

void MovieSound::defineTag(const CTag* tag)
{
    if (!tag)
        return;
    switch (tag->m_TagCode) {
    case kTagDefineSound:
        if (auto* sound = dynamic_cast<const CDefineSoundTag*>(tag))
            m_Sounds.emplace(sound->m_ID, tag);
        break;
    case kTagDefineButtonSound:
        if (auto* sound = dynamic_cast<const CDefineButtonSoundTag*>(tag))
            m_ButtonSounds.emplace(sound->m_ID, tag);
        break;
    case kTagSymbolClass:
    case kTagExportAssets:
        // Both bind names to character IDs: export names and class names.
        if (auto* exports = dynamic_cast<const CAssetTag*>(tag); exports && exports->m_pAssets) {
            const CAssetsItem& assets = *exports->m_pAssets;
            for (int i = 0; i < assets.GetItemCount(); ++i)
                if (auto* asset = dynamic_cast<const CAssetItem*>(assets.GetItem(i)); asset && asset->m_pName)
                    m_ClassNames.emplace(asset->m_pName->GetStr(), asset->m_ID);
        }
        break;
    default:
        break;
    }
}

uint16_t MovieSound::soundByName(const std::string& name, bool caseSensitive) const
{
    // Only names of sounds count: a name may also be given to a clip or a font.
    if (auto found = m_ClassNames.find(name); found != m_ClassNames.end() && m_Sounds.count(found->second))
        return found->second;
    if (caseSensitive)
        return 0;
    for (const auto& [known, id] : m_ClassNames)
        if (known.size() == name.size() && m_Sounds.count(id)
            && std::equal(known.begin(), known.end(), name.begin(),
                [](char a, char b) { return std::tolower(uint8_t(a)) == std::tolower(uint8_t(b)); }))
            return id;
    return 0;
}

void MovieSound::applyScriptLevels(uint64_t owner)
{
    const ScriptLevels& l = m_ScriptLevels[owner];
    // lr: the right side's share heard on the left; rl: the left side's share heard on the right.
    const float v = float(l.volume / 100.0);
    ChannelTransform t;
    t.leftToLeft = float(l.ll / 100.0) * v;
    t.rightToLeft = float(l.lr / 100.0) * v;
    t.leftToRight = float(l.rl / 100.0) * v;
    t.rightToRight = float(l.rr / 100.0) * v;
    if (owner == 0)
        m_Mixer.setMasterTransform(t);
    else
        m_Mixer.setOwnerTransform(owner, t);
}

std::shared_ptr<const SoundClip> MovieSound::clip(uint16_t soundId)
{
    if (auto found = m_Clips.find(soundId); found != m_Clips.end())
        return found->second;
    auto tag = m_Sounds.find(soundId);
    if (tag == m_Sounds.end())
        return nullptr;
    auto* define = dynamic_cast<const CDefineSoundTag*>(tag->second);
    std::shared_ptr<const SoundClip> decoded;
    if (define && define->m_pAudioData && define->m_pAudioData->m_pSoundParameters
        && define->m_pAudioData->m_pSoundData && define->m_pAudioData->m_pSoundData->m_pData) {
        const CSoundParametersItem& p = *define->m_pAudioData->m_pSoundParameters;
        CSWFStream* data = define->m_pAudioData->m_pSoundData->m_pData.get();
        decoded = DecodeSound(FormatOf(p), p.m_SampleCount, data->GetBuffer(), data->GetSize());
    }
    m_Clips[soundId] = decoded;
    return decoded;
}

size_t MovieSound::soundLength(uint16_t soundId)
{
    auto c = clip(soundId);
    return c ? c->frames() : 0;
}

SoundMixer::ChannelId MovieSound::startSound(
    uint16_t soundId, const PlayInfo& info, bool stop, bool noMultiple, uint64_t owner)
{
    if (!enabled())
        return 0;
    if (stop) {
        m_Mixer.stopSound(soundId);
        return 0;
    }
    if (noMultiple && m_Mixer.isPlaying(soundId))
        return 0;
    return m_Mixer.start(soundId, clip(soundId), info, owner);
}

void MovieSound::startSoundTag(uint64_t timeline, const CTag* tag)
{
    auto* start = dynamic_cast<const CStartSoundTag*>(tag);
    if (!start || !start->m_pSoundInfo)
        return;
    const CSoundInfoItem& info = *start->m_pSoundInfo;
    startSound(start->m_ID, PlayInfoFrom(info), info.m_SyncStop, info.m_SyncNoMultiple, timeline);
}

void MovieSound::startSound2Tag(uint64_t timeline, const CTag* tag)
{
    auto* start = dynamic_cast<const CStartSound2Tag*>(tag);
    if (!start || start->m_KeptWhole || !start->m_pSoundInfo)
        return;
    auto id = m_ClassNames.find(start->m_SoundClassName);
    if (id == m_ClassNames.end())
        return;
    const CSoundInfoItem& info = *start->m_pSoundInfo;
    startSound(id->second, PlayInfoFrom(info), info.m_SyncStop, info.m_SyncNoMultiple, timeline);
}

void MovieSound::frameEntered(uint64_t timeline, int frame, const CTag* head, const std::vector<const CTag*>& tags)
{
    if (!enabled())
        return;
    const CTag* block = nullptr;
    for (const CTag* tag : tags) {
        switch (tag->m_TagCode) {
        case kTagStartSound:
            startSoundTag(timeline, tag);
            break;
        case kTagStartSound2:
            startSound2Tag(timeline, tag);
            break;
        case kTagSoundStreamBlock:
            if (!block)
                block = tag;
            break;
        default:
            break;
        }
    }
    streamBlock(timeline, frame, head, block);
}

void MovieSound::streamBlock(uint64_t timeline, int frame, const CTag* head, const CTag* block)
{
    auto found = m_Streams.find(timeline);
    Stream* stream = found == m_Streams.end() ? nullptr : found->second.get();
    const bool continuous = stream && stream->head == head && frame == stream->lastFrame + 1;
    if (stream && !continuous) {
        // A goto (or a loop back to the start): the sound starts again at this frame's block.
        m_Mixer.streamStop(timeline);
        m_Streams.erase(found);
        stream = nullptr;
    }
    if (stream) {
        stream->lastFrame = frame;
        stream->fed = false;
    }
    if (!block || !head)
        return;
    auto* header = dynamic_cast<const CDefineSoundStreamHeadTag*>(head);
    if (!header || !header->m_pSoundParameters)
        return;
    size_t size = 0;
    const uint8_t* body = BodyOf(block, size);
    if (!body)
        return;
    const bool restart = !stream;
    if (restart) {
        auto fresh = std::make_unique<Stream>();
        fresh->head = head;
        fresh->format = FormatOf(*header->m_pSoundParameters);
        fresh->decoder = std::make_unique<NativeDecoder>(fresh->format);
        fresh->startFrame = frame;
        fresh->lastFrame = frame;
        stream = fresh.get();
        m_Streams[timeline] = std::move(fresh);
        m_Mixer.streamRestart(timeline);
    }
    stream->fed = true;
    size_t skip = 0;
    if (stream->format.codec == Codec::Mp3) {
        if (size < kMp3BlockHeader)
            return;
        // Starting here, the samples before this frame's start in the block's first MP3 frame are dropped.
        const int seek = int16_t(uint16_t(body[2] | (body[3] << 8)));
        if (restart && seek > 0)
            skip = size_t(seek);
        body += kMp3BlockHeader;
        size -= kMp3BlockHeader;
    }
    stream->native.clear();
    stream->decoder->decode(body, size, stream->native);
    const size_t channels = size_t(stream->format.channels());
    const size_t frames = stream->native.size() / channels;
    skip = std::min(skip, frames);
    stream->stereo.clear();
    stream->resampler.process(stream->native.data() + skip * channels, frames - skip, int(channels),
        stream->decoder->rate(), stream->stereo);
    m_Mixer.streamAppend(timeline, stream->stereo.data(), stream->stereo.size() / kMixChannels);
}

void MovieSound::keepStreams(const std::vector<uint64_t>& playing)
{
    for (auto it = m_Streams.begin(); it != m_Streams.end();) {
        if (std::find(playing.begin(), playing.end(), it->first) == playing.end()) {
            m_Mixer.streamStop(it->first);
            it = m_Streams.erase(it);
        } else {
            ++it;
        }
    }
}

size_t MovieSound::streamLead(uint64_t timeline) const
{
    auto found = m_Streams.find(timeline);
    if (found == m_Streams.end() || !found->second->fed)
        return 0;
    return m_Mixer.streamQueued(timeline);
}

bool MovieSound::streamClock(uint64_t timeline, double frameRate, int& heardFrame, bool& hungry) const
{
    // Only a clock of its own can lead: an exporter's output moves with the frames.
    if (!m_Output || !m_Output->realTime() || frameRate <= 0)
        return false;
    auto found = m_Streams.find(timeline);
    if (found == m_Streams.end() || !found->second->fed)
        return false;
    const double perFrame = kMixRate / frameRate;
    heardFrame = found->second->startFrame + int(double(m_Mixer.streamPlayed(timeline)) / perFrame);
    hungry = m_Mixer.streamQueued(timeline) < kStreamLowWater;
    return true;
}

void MovieSound::buttonChanged(uint16_t buttonId, int from, int to)
{
    if (!enabled())
        return;
    auto found = m_ButtonSounds.find(buttonId);
    if (found == m_ButtonSounds.end())
        return;
    auto* sounds = dynamic_cast<const CDefineButtonSoundTag*>(found->second);
    if (!sounds)
        return;
    int transition = -1;
    if (to == kStateUp)
        transition = kOverUpToIdle;
    else if (to == kStateOver)
        transition = from == kStateDown ? kOverDownToOverUp : kIdleToOverUp;
    else if (to == kStateDown)
        transition = kOverUpToOverDown;
    if (transition < 0 || !sounds->m_SoundID[transition])
        return;
    const CSoundInfoItem* info = sounds->m_pSoundInfo[transition].get();
    startSound(sounds->m_SoundID[transition], info ? PlayInfoFrom(*info) : PlayInfo {}, info && info->m_SyncStop,
        info && info->m_SyncNoMultiple);
}

void MovieSound::stopAll()
{
    m_Mixer.stopAll();
    m_Streams.clear();
}

void MovieSound::setPaused(bool paused)
{
    if (m_Output)
        m_Output->setPaused(paused);
    else
        m_Mixer.setPaused(paused);
}

void MovieSound::frameTime(double frameRate, uint64_t leader)
{
    if (!m_Output || m_Output->realTime() || frameRate <= 0)
        return;
    const double period = kMixRate / frameRate;
    const size_t lead = streamLead(leader);
    m_Clock += lead > 0 ? std::min(double(lead), kMaxStreamFrame * period) : period;
    const auto due = uint64_t(std::llround(m_Clock));
    if (due > m_SamplesMixed)
        m_Output->advance(size_t(due - m_SamplesMixed));
    m_SamplesMixed = std::max(m_SamplesMixed, due);
}

void MovieSound::finish(double frameRate, uint64_t leader)
{
    frameTime(frameRate, leader);
}

} // namespace reelfinch::plugin::sound
