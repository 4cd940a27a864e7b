// Bitmap and sound tags.
#include "Records.h"
#include "SWFDebugger.h"
#include "SWFStream.h"
#include "Tags.h"
#include "TagsCommon.h"

namespace {

bool NoShortfall(const CSWFStream* stream)
{
    return stream->GetDataLow() == 0;
}

unsigned long RestOf(const CSWFStream* stream)
{
    return static_cast<unsigned long>(std::max<int32_t>(stream->GetDataRest(), 0));
}

// DefineBitsJPEG3 counts AlphaDataOffset from the end of the 2-byte ID and the 4-byte offset itself.
constexpr uint32_t kJPEG3DataStart = 6;

} // namespace

// ---- CDefineBitsTag ----

CDefineBitsTag::CDefineBitsTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pJPEGData(std::make_unique<CJPEGDataItem>(owner, kStyleNone))
{ }

CDefineBitsTag::~CDefineBitsTag() = default;

int CDefineBitsTag::ReadBody(CSWFStream* body)
{
    if (!body->ReadU16(&m_ID))
        return 0;
    m_pJPEGData->SetReadingSize(RestOf(body));
    return m_pJPEGData->ReadSWF(body);
}

int CDefineBitsTag::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_ID) && m_pJPEGData->WriteSWF(body) ? 1 : 0;
}

int CDefineBitsTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDefineBitsTag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    return CopyOwned(m_pJPEGData.get(), owner, kStyleNone, copy->m_pJPEGData);
}

void CDefineBitsTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Child("jpegData", m_pJPEGData.get());
}

// ---- CDefineBitsJPEG2Tag ----

CDefineBitsJPEG2Tag::CDefineBitsJPEG2Tag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pJPEGData(std::make_unique<CJPEGDataWithTableItem>(owner, kStyleNone))
{ }

CDefineBitsJPEG2Tag::~CDefineBitsJPEG2Tag() = default;

int CDefineBitsJPEG2Tag::ReadBody(CSWFStream* body)
{
    if (!body->ReadU16(&m_ID))
        return 0;
    m_pJPEGData->SetReadingSize(RestOf(body));
    return m_pJPEGData->ReadSWF(body);
}

int CDefineBitsJPEG2Tag::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_ID) && m_pJPEGData->WriteSWF(body) ? 1 : 0;
}

int CDefineBitsJPEG2Tag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDefineBitsJPEG2Tag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    return CopyOwned(m_pJPEGData.get(), owner, kStyleNone, copy->m_pJPEGData);
}

void CDefineBitsJPEG2Tag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Child("jpegData", m_pJPEGData.get());
}

// ---- CDefineBitsJPEG3Tag ----

CDefineBitsJPEG3Tag::CDefineBitsJPEG3Tag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pJPEGData(std::make_unique<CJPEGDataWithTableItem>(owner, kStyleNone))
    , m_pAlphaData(std::make_unique<CZDumpItem>(owner, kStyleNone))
{
    m_pAlphaData->m_AutoDecompress = false;
}

CDefineBitsJPEG3Tag::~CDefineBitsJPEG3Tag() = default;

int CDefineBitsJPEG3Tag::ReadBody(CSWFStream* body)
{
    uint32_t alphaDataOffset = 0;
    if (!body->ReadU16(&m_ID) || !body->ReadU32(&alphaDataOffset))
        return 0;
    // An offset past the body reads what there is of the JPEG data (reported) and leaves no alpha data.
    m_pJPEGData->SetReadingSize(alphaDataOffset);
    if (!m_pJPEGData->ReadSWF(body))
        return 0;
    const uint64_t alphaStart = static_cast<uint64_t>(kJPEG3DataStart) + alphaDataOffset;
    body->SetPosition(static_cast<uint32_t>(std::min<uint64_t>(alphaStart, body->GetSize())));
    m_pAlphaData->m_AutoDecompress = false;
    m_pAlphaData->SetReadingSize(RestOf(body));
    return m_pAlphaData->ReadSWF(body);
}

int CDefineBitsJPEG3Tag::WriteBody(CSWFStream* body)
{
    CSWFStream jpeg;
    if (!m_pJPEGData->WriteSWF(&jpeg))
        return 0;
    jpeg.SetPosition(0);
    return body->WriteU16(m_ID) && body->WriteU32(jpeg.GetSize()) && body->WriteStream(&jpeg, jpeg.GetSize())
            && m_pAlphaData->WriteSWF(body)
        ? 1
        : 0;
}

int CDefineBitsJPEG3Tag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDefineBitsJPEG3Tag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    return CopyOwned(m_pJPEGData.get(), owner, kStyleNone, copy->m_pJPEGData)
            && CopyOwned(m_pAlphaData.get(), owner, kStyleNone, copy->m_pAlphaData)
        ? 1
        : 0;
}

void CDefineBitsJPEG3Tag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Child("jpegData", m_pJPEGData.get());
    visitor.Child("alphaData", m_pAlphaData.get());
}

// ---- CBitsLossLessTag ----

CBitsLossLessTag::CBitsLossLessTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pBitmap(std::make_unique<CBitsLossLessItem>(owner, style))
{ }

CBitsLossLessTag::~CBitsLossLessTag() = default;

int CBitsLossLessTag::ReadBody(CSWFStream* body)
{
    if (!body->ReadU16(&m_ID))
        return 0;
    m_pBitmap->SetItemStyle(m_Style);
    return m_pBitmap->ReadSWF(body);
}

int CBitsLossLessTag::WriteBody(CSWFStream* body)
{
    m_pBitmap->SetItemStyle(m_Style);
    return body->WriteU16(m_ID) && m_pBitmap->WriteSWF(body) ? 1 : 0;
}

int CBitsLossLessTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CBitsLossLessTag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    return CopyOwned(m_pBitmap.get(), owner, m_Style, copy->m_pBitmap);
}

void CBitsLossLessTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Child("bitmap", m_pBitmap.get());
}

// ---- CDefineSoundTag ----

CDefineSoundTag::CDefineSoundTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pAudioData(std::make_unique<CAudioDataItem>(owner, kStyleNone))
{ }

CDefineSoundTag::~CDefineSoundTag() = default;

int CDefineSoundTag::ReadBody(CSWFStream* body)
{
    if (!body->ReadU16(&m_ID))
        return 0;
    // DefineSound counts its samples in 32 bits.
    if (m_pAudioData->m_pSoundParameters)
        m_pAudioData->m_pSoundParameters->m_LongCount = true;
    return m_pAudioData->ReadSWF(body);
}

int CDefineSoundTag::WriteBody(CSWFStream* body)
{
    if (m_pAudioData->m_pSoundParameters)
        m_pAudioData->m_pSoundParameters->m_LongCount = true;
    return body->WriteU16(m_ID) && m_pAudioData->WriteSWF(body) ? 1 : 0;
}

int CDefineSoundTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDefineSoundTag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    return CopyOwned(m_pAudioData.get(), owner, kStyleNone, copy->m_pAudioData);
}

void CDefineSoundTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Child("audioData", m_pAudioData.get());
}

// ---- CStartSoundTag ----

CStartSoundTag::CStartSoundTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pSoundInfo(std::make_unique<CSoundInfoItem>(owner, kStyleNone))
{ }

CStartSoundTag::~CStartSoundTag() = default;

int CStartSoundTag::ReadBody(CSWFStream* body)
{
    return body->ReadU16(&m_ID) && m_pSoundInfo->ReadSWF(body) ? 1 : 0;
}

int CStartSoundTag::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_ID) && m_pSoundInfo->WriteSWF(body) ? 1 : 0;
}

int CStartSoundTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CStartSoundTag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    return CopyOwned(m_pSoundInfo.get(), owner, kStyleNone, copy->m_pSoundInfo);
}

void CStartSoundTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Child("soundInfo", m_pSoundInfo.get());
}

// ---- CDefineSoundStreamHeadTag ----

CDefineSoundStreamHeadTag::CDefineSoundStreamHeadTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pPlayBackParameters(std::make_unique<CPlayBackParametersItem>(owner, kStyleNone))
    , m_pSoundParameters(std::make_unique<CSoundParametersItem>(owner, kStyleNone))
{ }

CDefineSoundStreamHeadTag::~CDefineSoundStreamHeadTag() = default;

int CDefineSoundStreamHeadTag::ReadBody(CSWFStream* body)
{
    m_pSoundParameters->m_LongCount = false;
    return m_pPlayBackParameters->ReadSWF(body) && m_pSoundParameters->ReadSWF(body) && NoShortfall(body) ? 1 : 0;
}

int CDefineSoundStreamHeadTag::WriteBody(CSWFStream* body)
{
    m_pSoundParameters->m_LongCount = false;
    return m_pPlayBackParameters->WriteSWF(body) && m_pSoundParameters->WriteSWF(body) ? 1 : 0;
}

int CDefineSoundStreamHeadTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDefineSoundStreamHeadTag>(dest);
    if (!copy)
        return 0;
    return CopyOwned(m_pPlayBackParameters.get(), owner, kStyleNone, copy->m_pPlayBackParameters)
            && CopyOwned(m_pSoundParameters.get(), owner, kStyleNone, copy->m_pSoundParameters)
        ? 1
        : 0;
}

void CDefineSoundStreamHeadTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Child("playBackParameters", m_pPlayBackParameters.get());
    visitor.Child("soundParameters", m_pSoundParameters.get());
}
