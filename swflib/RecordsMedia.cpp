// Sound, bitmap, button, clip action and asset records.
#include "Records.h"

#include "Filters.h"
#include "RecordsInternal.h"
#include "SWFDebugger.h"
#include "SWFStream.h"

#include <algorithm>
#include <array>

using namespace records;

namespace {

constexpr unsigned char kSoundInfoReservedBits = 2;
constexpr unsigned char kPlayBackReservedBits = 4;
constexpr unsigned char kButtonReservedBits = 2;

// The length of the filter list that starts at the stream's position, or 0 when it runs past the data.
uint32_t FilterListLength(const CSWFStream* stream)
{
    const int32_t rest = stream->GetDataRest();
    if (rest <= 0)
        return 0;
    return SWFFilterListLength(stream->GetBuffer() + stream->GetPosition(), static_cast<size_t>(rest));
}

constexpr unsigned char kSoundFormatBits = 4;
constexpr unsigned char kSoundRateBits = 2;
// Clip event flags are 32 bits wide from this movie version on.
constexpr int kFirstWideClipEventVersion = 6;

int32_t RestOf(const CSWFStream* stream)
{
    return std::max<int32_t>(stream->GetDataRest(), 0);
}

} // namespace

// ---- CSoundParametersItem ----

int CSoundParametersItem::ReadSWF(CSWFStream* stream)
{
    m_Format = static_cast<uint8_t>(stream->GetU(kSoundFormatBits));
    m_Rate = static_cast<uint8_t>(stream->GetU(kSoundRateBits));
    m_Size = static_cast<uint8_t>(stream->GetU(1));
    m_Type = static_cast<uint8_t>(stream->GetU(1));
    m_HasLatencySeek = false;
    if (m_LongCount) {
        m_SampleCount = stream->GetU32();
    } else {
        m_SampleCount = stream->GetU16();
        // Some writers leave the latency seek out of an MP3 stream head; what is not there is not invented.
        if (m_Format == kSoundFormatMP3 && stream->GetDataRest() >= 2) {
            m_HasLatencySeek = true;
            m_LatencySeek = stream->GetS16();
        }
    }
    return NoShortfall(stream) ? 1 : 0;
}

int CSoundParametersItem::WriteSWF(CSWFStream* stream)
{
    if (!stream->WriteBits(m_Format, kSoundFormatBits) || !stream->WriteBits(m_Rate, kSoundRateBits)
        || !stream->WriteBits(m_Size, 1) || !stream->WriteBits(m_Type, 1))
        return 0;
    if (m_LongCount)
        return stream->WriteU32(m_SampleCount);
    if (!stream->WriteU16(static_cast<uint16_t>(m_SampleCount)))
        return 0;
    return m_HasLatencySeek ? stream->WriteS16(m_LatencySeek) : 1;
}

unsigned long CSoundParametersItem::GetSoundSize() const
{
    return CalculateSoundSize(m_Format, m_Rate, m_Size, m_Type, m_SampleCount);
}

int CSoundParametersItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CSoundParametersItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_Format = m_Format;
    copy->m_Rate = m_Rate;
    copy->m_Size = m_Size;
    copy->m_Type = m_Type;
    copy->m_SampleCount = m_SampleCount;
    copy->m_LongCount = m_LongCount;
    copy->m_LatencySeek = m_LatencySeek;
    copy->m_HasLatencySeek = m_HasLatencySeek;
    return 1;
}

void CSoundParametersItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("format", m_Format);
    visitor.Int("rate", m_Rate);
    visitor.Int("size", m_Size);
    visitor.Int("type", m_Type);
    visitor.Int("sampleCount", m_SampleCount);
    visitor.Int("longCount", m_LongCount);
    visitor.Int("hasLatencySeek", m_HasLatencySeek);
    visitor.Int("latencySeek", m_LatencySeek);
}

// ---- CPlayBackParametersItem ----

int CPlayBackParametersItem::ReadSWF(CSWFStream* stream)
{
    unsigned long reserved = 0;
    if (!SWFDebugger.CheckReserved(this, stream, kPlayBackReservedBits, &reserved))
        return 0;
    m_Reserved = static_cast<uint8_t>(reserved);
    m_Rate = static_cast<uint8_t>(stream->GetU(kSoundRateBits));
    m_Size = static_cast<uint8_t>(stream->GetU(1));
    m_Type = static_cast<uint8_t>(stream->GetU(1));
    return NoShortfall(stream) ? 1 : 0;
}

int CPlayBackParametersItem::WriteSWF(CSWFStream* stream)
{
    return stream->WriteBits(m_Reserved, kPlayBackReservedBits) && stream->WriteBits(m_Rate, kSoundRateBits)
            && stream->WriteBits(m_Size, 1) && stream->WriteBits(m_Type, 1)
        ? 1
        : 0;
}

int CPlayBackParametersItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CPlayBackParametersItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_Reserved = m_Reserved;
    copy->m_Rate = m_Rate;
    copy->m_Size = m_Size;
    copy->m_Type = m_Type;
    return 1;
}

void CPlayBackParametersItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("reserved", m_Reserved);
    visitor.Int("rate", m_Rate);
    visitor.Int("size", m_Size);
    visitor.Int("type", m_Type);
}

// ---- CSoundDataItem, CAudioDataItem ----

int CSoundDataItem::ReadSWF(CSWFStream* stream)
{
    SetReadingSize(static_cast<unsigned long>(RestOf(stream)));
    return CDumpItem::ReadSWF(stream);
}

CAudioDataItem::CAudioDataItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pSoundParameters(std::make_unique<CSoundParametersItem>(owner, style))
    , m_pSoundData(std::make_unique<CSoundDataItem>(owner, style))
{
    m_pSoundParameters->m_LongCount = true;
}

CAudioDataItem::~CAudioDataItem() = default;

int CAudioDataItem::ReadSWF(CSWFStream* stream)
{
    if (!m_pSoundParameters->ReadSWF(stream))
        return 0;
    return m_pSoundData->ReadSWF(stream);
}

int CAudioDataItem::WriteSWF(CSWFStream* stream)
{
    return m_pSoundParameters->WriteSWF(stream) && m_pSoundData->WriteSWF(stream) ? 1 : 0;
}

void CAudioDataItem::SetSoundParameters(const CSoundParametersItem* parameters)
{
    ReplaceChild(parameters, m_pOwner, m_Style, m_pSoundParameters);
    m_pSoundParameters->m_LongCount = true;
}

void CAudioDataItem::SetSoundData(const CSoundDataItem* data)
{
    ReplaceChild(data, m_pOwner, m_Style, m_pSoundData);
}

int CAudioDataItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CAudioDataItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    return copy && CopyChild(m_pSoundParameters.get(), owner, copy->m_pSoundParameters)
            && CopyChild(m_pSoundData.get(), owner, copy->m_pSoundData)
        ? 1
        : 0;
}

void CAudioDataItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Child("soundParameters", m_pSoundParameters.get());
    visitor.Child("soundData", m_pSoundData.get());
}

// ---- CSoundEnvelopeItem, CSoundEnvelopeRecordsItem, CSoundInfoItem ----

int CSoundEnvelopeItem::ReadSWF(CSWFStream* stream)
{
    m_Pos44 = stream->GetU32();
    m_LeftLevel = stream->GetU16();
    m_RightLevel = stream->GetU16();
    return NoShortfall(stream) ? 1 : 0;
}

int CSoundEnvelopeItem::WriteSWF(CSWFStream* stream)
{
    return stream->WriteU32(m_Pos44) && stream->WriteU16(m_LeftLevel) && stream->WriteU16(m_RightLevel) ? 1 : 0;
}

int CSoundEnvelopeItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CSoundEnvelopeItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_Pos44 = m_Pos44;
    copy->m_LeftLevel = m_LeftLevel;
    copy->m_RightLevel = m_RightLevel;
    return 1;
}

void CSoundEnvelopeItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("pos44", m_Pos44);
    visitor.Int("leftLevel", m_LeftLevel);
    visitor.Int("rightLevel", m_RightLevel);
}

CSoundEnvelopeRecordsItem::CSoundEnvelopeRecordsItem(CSWFObject* owner, unsigned char style)
    : CSWFItemsByteCount(owner, style)
{
    m_ItemClassID = kClassID_CSoundEnvelopeItem;
}

CSoundInfoItem::CSoundInfoItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
{ }

CSoundInfoItem::~CSoundInfoItem() = default;

void CSoundInfoItem::SetHasEnvelope(bool on)
{
    if (!on)
        m_pEnvelope.reset();
    else if (!m_pEnvelope)
        m_pEnvelope = std::make_unique<CSoundEnvelopeRecordsItem>(m_pOwner, m_Style);
}

void CSoundInfoItem::SetEnvelope(const CSoundEnvelopeRecordsItem* envelope)
{
    if (envelope)
        ReplaceChild(envelope, m_pOwner, m_Style, m_pEnvelope);
}

int CSoundInfoItem::ReadSWF(CSWFStream* stream)
{
    unsigned long reserved = 0;
    if (!SWFDebugger.CheckReserved(this, stream, kSoundInfoReservedBits, &reserved))
        return 0;
    m_Reserved = static_cast<uint8_t>(reserved);
    m_SyncStop = stream->GetBool();
    m_SyncNoMultiple = stream->GetBool();
    SetHasEnvelope(stream->GetBool());
    m_HasLoops = stream->GetBool();
    m_HasOutPoint = stream->GetBool();
    m_HasInPoint = stream->GetBool();
    if (m_HasInPoint)
        m_InPoint = stream->GetU32();
    if (m_HasOutPoint)
        m_OutPoint = stream->GetU32();
    if (m_HasLoops)
        m_LoopCount = stream->GetU16();
    const int envelope = m_pEnvelope ? m_pEnvelope->ReadSWF(stream) : 1;
    return envelope && NoShortfall(stream) ? 1 : 0;
}

int CSoundInfoItem::WriteSWF(CSWFStream* stream)
{
    if (!stream->WriteBits(m_Reserved, kSoundInfoReservedBits))
        return 0;
    for (bool flag :
        { m_SyncStop, m_SyncNoMultiple, m_pEnvelope != nullptr, m_HasLoops, m_HasOutPoint, m_HasInPoint }) {
        if (!stream->WriteBits(flag ? 1 : 0, 1))
            return 0;
    }
    if (m_HasInPoint && !stream->WriteU32(m_InPoint))
        return 0;
    if (m_HasOutPoint && !stream->WriteU32(m_OutPoint))
        return 0;
    if (m_HasLoops && !stream->WriteU16(m_LoopCount))
        return 0;
    return m_pEnvelope ? m_pEnvelope->WriteSWF(stream) : 1;
}

int CSoundInfoItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CSoundInfoItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_Reserved = m_Reserved;
    copy->m_SyncStop = m_SyncStop;
    copy->m_SyncNoMultiple = m_SyncNoMultiple;
    copy->m_HasLoops = m_HasLoops;
    copy->m_HasOutPoint = m_HasOutPoint;
    copy->m_HasInPoint = m_HasInPoint;
    copy->m_InPoint = m_InPoint;
    copy->m_OutPoint = m_OutPoint;
    copy->m_LoopCount = m_LoopCount;
    return CopyChild(m_pEnvelope.get(), owner, copy->m_pEnvelope);
}

void CSoundInfoItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("reserved", m_Reserved);
    visitor.Int("syncStop", m_SyncStop);
    visitor.Int("syncNoMultiple", m_SyncNoMultiple);
    visitor.Int("hasLoops", m_HasLoops);
    visitor.Int("hasOutPoint", m_HasOutPoint);
    visitor.Int("hasInPoint", m_HasInPoint);
    visitor.Int("inPoint", m_InPoint);
    visitor.Int("outPoint", m_OutPoint);
    visitor.Int("loopCount", m_LoopCount);
    visitor.Child("envelope", m_pEnvelope.get());
}

// ---- CBitsLossLessItem ----

CBitsLossLessItem::CBitsLossLessItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pZlibBitmapData(std::make_unique<CZDumpItem>(owner, style))
{ }

CBitsLossLessItem::~CBitsLossLessItem() = default;

unsigned long CBitsLossLessItem::GetBitMapSize() const
{
    return CalculateBitMapSize(
        m_BitmapFormat, m_BitmapWidth, m_BitmapHeight, m_BitmapColorTableSize, m_Style == kStyleRGBA);
}

int CBitsLossLessItem::ReadSWF(CSWFStream* stream)
{
    m_BitmapFormat = stream->GetU8();
    m_BitmapWidth = stream->GetU16();
    m_BitmapHeight = stream->GetU16();
    if (m_BitmapFormat == kBitmapColorMapped8)
        m_BitmapColorTableSize = stream->GetU8();
    if (!NoShortfall(stream))
        return 0;
    m_pZlibBitmapData->SetReadingSize(static_cast<unsigned long>(RestOf(stream)));
    m_pZlibBitmapData->m_OutEstimate = static_cast<uint32_t>(std::min<unsigned long>(GetBitMapSize(), UINT32_MAX - 1));
    return m_pZlibBitmapData->ReadSWF(stream);
}

int CBitsLossLessItem::WriteSWF(CSWFStream* stream)
{
    if (!stream->WriteU8(m_BitmapFormat) || !stream->WriteU16(m_BitmapWidth) || !stream->WriteU16(m_BitmapHeight))
        return 0;
    if (m_BitmapFormat == kBitmapColorMapped8 && !stream->WriteU8(m_BitmapColorTableSize))
        return 0;
    return m_pZlibBitmapData->WriteSWF(stream);
}

void CBitsLossLessItem::SetData(const CZDumpItem* data)
{
    ReplaceChild(data, m_pOwner, m_Style, m_pZlibBitmapData);
}

int CBitsLossLessItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CBitsLossLessItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_BitmapFormat = m_BitmapFormat;
    copy->m_BitmapWidth = m_BitmapWidth;
    copy->m_BitmapHeight = m_BitmapHeight;
    copy->m_BitmapColorTableSize = m_BitmapColorTableSize;
    return CopyChild(m_pZlibBitmapData.get(), owner, copy->m_pZlibBitmapData);
}

void CBitsLossLessItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("format", m_BitmapFormat);
    visitor.Int("width", m_BitmapWidth);
    visitor.Int("height", m_BitmapHeight);
    visitor.Int("colorTableSize", m_BitmapColorTableSize);
    visitor.Child("zlibBitmapData", m_pZlibBitmapData.get());
}

// ---- CButtonRecord, CButtonRecordsItem ----

CButtonRecord::CButtonRecord(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pMatrix(std::make_unique<CMatrixItem>(owner, style))
{ }

CButtonRecord::~CButtonRecord() = default;

void CButtonRecord::SetEmpty()
{
    m_StateHitTest = m_StateDown = m_StateOver = m_StateUp = false;
}

void CButtonRecord::SetMatrix(const CMatrixItem* matrix)
{
    ReplaceChild(matrix, m_pOwner, m_Style, m_pMatrix);
}

void CButtonRecord::SetColorTransform(const CCXFormItem* transform)
{
    if (!transform)
        return;
    ReplaceChild(transform, m_pOwner, m_Style, m_pColorTransform);
    m_pColorTransform->SetHasAlpha(true);
}

int CButtonRecord::ReadSWF(CSWFStream* stream)
{
    unsigned long reserved = 0;
    if (!SWFDebugger.CheckReserved(this, stream, kButtonReservedBits, &reserved))
        return 0;
    m_Reserved = static_cast<uint8_t>(reserved);
    m_HasBlendMode = stream->GetBool();
    m_HasFilterList = stream->GetBool();
    m_StateHitTest = stream->GetBool();
    m_StateDown = stream->GetBool();
    m_StateOver = stream->GetBool();
    m_StateUp = stream->GetBool();
    m_pFilterList.reset();
    if (IsEmpty())
        return NoShortfall(stream) ? 1 : 0;
    m_CharacterID = stream->GetU16();
    m_PlaceDepth = stream->GetU16();
    if (!m_pMatrix->ReadSWF(stream))
        return 0;
    if (m_Style != kStyleButton2) {
        m_pColorTransform.reset();
        return NoShortfall(stream) ? 1 : 0;
    }
    if (!m_pColorTransform)
        m_pColorTransform = std::make_unique<CCXFormItem>(m_pOwner, m_Style);
    m_pColorTransform->SetHasAlpha(true);
    if (!m_pColorTransform->ReadSWF(stream))
        return 0;
    if (m_HasFilterList) {
        // A list that runs past the data, or holds a filter of unknown kind, cannot be read.
        if (FilterListLength(stream) == 0) {
            stream->SetPosition(stream->GetSize() + 1ul);
            return 0;
        }
        m_pFilterList = std::make_unique<CFilterListItem>(m_pOwner, kStyleNone);
        if (!m_pFilterList->ReadSWF(stream))
            return 0;
    }
    if (m_HasBlendMode)
        m_BlendMode = stream->GetU8();
    return NoShortfall(stream) ? 1 : 0;
}

int CButtonRecord::WriteSWF(CSWFStream* stream)
{
    const bool button2 = m_Style == kStyleButton2;
    // Outside DefineButton2 the two flags carry nothing and are written back as they were read.
    const bool hasFilters = m_HasFilterList && (!button2 || m_pFilterList);
    const bool hasBlend = m_HasBlendMode;
    if (!stream->WriteBits(m_Reserved, kButtonReservedBits))
        return 0;
    for (bool flag : { hasBlend, hasFilters, m_StateHitTest, m_StateDown, m_StateOver, m_StateUp }) {
        if (!stream->WriteBits(flag ? 1 : 0, 1))
            return 0;
    }
    if (IsEmpty())
        return 1;
    if (!stream->WriteU16(m_CharacterID) || !stream->WriteU16(m_PlaceDepth) || !m_pMatrix->WriteSWF(stream))
        return 0;
    if (!button2)
        return 1;
    if (!m_pColorTransform) {
        m_pColorTransform = std::make_unique<CCXFormItem>(m_pOwner, m_Style);
        m_pColorTransform->SetHasAlpha(true);
    }
    if (!m_pColorTransform->WriteSWF(stream))
        return 0;
    if (button2 && hasFilters && !m_pFilterList->WriteSWF(stream))
        return 0;
    return hasBlend ? stream->WriteU8(m_BlendMode) : 1;
}

int CButtonRecord::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CButtonRecord>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_Reserved = m_Reserved;
    copy->m_HasBlendMode = m_HasBlendMode;
    copy->m_HasFilterList = m_HasFilterList;
    copy->m_BlendMode = m_BlendMode;
    copy->m_StateHitTest = m_StateHitTest;
    copy->m_StateDown = m_StateDown;
    copy->m_StateOver = m_StateOver;
    copy->m_StateUp = m_StateUp;
    copy->m_CharacterID = m_CharacterID;
    copy->m_PlaceDepth = m_PlaceDepth;
    return CopyChild(m_pMatrix.get(), owner, copy->m_pMatrix)
            && CopyChild(m_pColorTransform.get(), owner, copy->m_pColorTransform)
            && CopyChild(m_pFilterList.get(), owner, copy->m_pFilterList)
        ? 1
        : 0;
}

void CButtonRecord::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("reserved", m_Reserved);
    visitor.Int("hasBlendMode", m_HasBlendMode);
    visitor.Int("hasFilterList", m_HasFilterList);
    visitor.Int("stateHitTest", m_StateHitTest);
    visitor.Int("stateDown", m_StateDown);
    visitor.Int("stateOver", m_StateOver);
    visitor.Int("stateUp", m_StateUp);
    visitor.Int("characterID", m_CharacterID);
    visitor.Int("placeDepth", m_PlaceDepth);
    visitor.Child("matrix", m_pMatrix.get());
    visitor.Child("colorTransform", m_pColorTransform.get());
    visitor.Child("filterList", m_pFilterList.get());
    visitor.Int("blendMode", m_BlendMode);
}

CButtonRecordsItem::CButtonRecordsItem(CSWFObject* owner, unsigned char style)
    : CSWFItemsUnCountable(owner, style)
{
    m_ItemClassID = kClassID_CButtonRecord;
}

// ---- CButtonCondActionItem, CButtonCondActionsItem ----

CButtonCondActionItem::CButtonCondActionItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pActions(std::make_unique<CActionsItem>(owner, style))
{ }

CButtonCondActionItem::~CButtonCondActionItem() = default;

bool CButtonCondActionItem::IsEmpty() const
{
    return m_Conditions == 0 && (!m_pActions || m_pActions->IsEmpty());
}

void CButtonCondActionItem::SetEmpty()
{
    m_Conditions = 0;
    if (m_pActions)
        m_pActions->SetEmpty();
}

void CButtonCondActionItem::SetActions(const CActionsItem* actions)
{
    ReplaceChild(actions, m_pOwner, m_Style, m_pActions);
}

int CButtonCondActionItem::ReadSWF(CSWFStream* stream)
{
    m_Conditions = stream->GetU16();
    if (!NoShortfall(stream) || !m_pActions)
        return 0;
    return m_pActions->ReadSWF(stream) && NoShortfall(stream) ? 1 : 0;
}

int CButtonCondActionItem::WriteSWF(CSWFStream* stream)
{
    return stream->WriteU16(m_Conditions) && m_pActions && m_pActions->WriteSWF(stream) ? 1 : 0;
}

int CButtonCondActionItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CButtonCondActionItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_Conditions = m_Conditions;
    return CopyChild(m_pActions.get(), owner, copy->m_pActions);
}

void CButtonCondActionItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("conditions", m_Conditions);
    visitor.Child("actions", m_pActions.get());
}

CButtonCondActionsItem::CButtonCondActionsItem(CSWFObject* owner, unsigned char style)
    : CSWFItems(owner, style)
{
    m_ItemClassID = kClassID_CButtonCondActionItem;
}

int CButtonCondActionsItem::ReadSWF(CSWFStream* stream)
{
    SWFDebugLevel level;
    m_pList->ClearList();
    // The offsets to the next record are not needed: records follow one another up to the end of the body.
    while (stream->GetDataRest() > 0) {
        stream->GetU16();
        if (!NoShortfall(stream))
            return 0;
        CSWFItem* raw = nullptr;
        const int ok = GetSWFItem(stream, raw, m_ItemClassID);
        std::unique_ptr<CSWFItem> item(raw);
        if (item)
            m_pList->AddObject(item.release());
        if (!ok)
            return 0;
    }
    return NoShortfall(stream) ? 1 : 0;
}

int CButtonCondActionsItem::WriteSWF(CSWFStream* stream)
{
    int last = -1;
    for (int i = 0; i < GetItemCount(); ++i) {
        if (GetItem(i) && !GetItem(i)->IsEmpty())
            last = i;
    }
    for (int i = 0; i <= last; ++i) {
        CSWFItem* item = GetItem(i);
        if (!item || item->IsEmpty())
            continue;
        CSWFStream scratch;
        if (!ItemWriteSWF(&scratch, item))
            return 0;
        scratch.FlushBits();
        const uint32_t size = scratch.GetSize();
        if (size + 2 > UINT16_MAX && i != last)
            return 0;
        const auto offset = static_cast<uint16_t>(i == last ? 0 : size + 2);
        if (!stream->WriteU16(offset) || !stream->WriteBuf(scratch.GetBuffer(), size))
            return 0;
    }
    return 1;
}

// ---- CClipEventFlagsItem ----

namespace {

using EventFlag = bool CClipEventFlagsItem::*;
// The events in the order of bits 18 down to 0 of the flags.
constexpr std::array<EventFlag, 19> kEventFlags = {
    &CClipEventFlagsItem::m_ClipEventConstruct,
    &CClipEventFlagsItem::m_ClipEventKeyPress,
    &CClipEventFlagsItem::m_ClipEventDragOut,
    &CClipEventFlagsItem::m_ClipEventDragOver,
    &CClipEventFlagsItem::m_ClipEventRollOut,
    &CClipEventFlagsItem::m_ClipEventRollOver,
    &CClipEventFlagsItem::m_ClipEventReleaseOutside,
    &CClipEventFlagsItem::m_ClipEventRelease,
    &CClipEventFlagsItem::m_ClipEventPress,
    &CClipEventFlagsItem::m_ClipEventInitialize,
    &CClipEventFlagsItem::m_ClipEventData,
    &CClipEventFlagsItem::m_ClipEventKeyUp,
    &CClipEventFlagsItem::m_ClipEventKeyDown,
    &CClipEventFlagsItem::m_ClipEventMouseUp,
    &CClipEventFlagsItem::m_ClipEventMouseDown,
    &CClipEventFlagsItem::m_ClipEventMouseMove,
    &CClipEventFlagsItem::m_ClipEventUnload,
    &CClipEventFlagsItem::m_ClipEventEnterFrame,
    &CClipEventFlagsItem::m_ClipEventLoad,
};

} // namespace

void CClipEventFlagsItem::ApplyFlags()
{
    uint32_t flags = 0;
    for (size_t i = 0; i < kEventFlags.size(); ++i) {
        if (this->*kEventFlags[i])
            flags |= 1u << (kEventFlags.size() - 1 - i);
    }
    m_Flags = flags;
}

void CClipEventFlagsItem::ApplyEvents()
{
    for (size_t i = 0; i < kEventFlags.size(); ++i)
        this->*kEventFlags[i] = (m_Flags >> (kEventFlags.size() - 1 - i)) & 1u;
}

void CClipEventFlagsItem::SetFlags32(uint32_t flags)
{
    m_Flags = flags & kEventMask;
    ApplyEvents();
}

void CClipEventFlagsItem::SetFlags16(uint16_t flags)
{
    m_Flags = flags;
    ApplyEvents();
}

void CClipEventFlagsItem::SetEmpty()
{
    m_Flags = 0;
    m_ReservedFlags = 0;
    ApplyEvents();
}

bool CClipEventFlagsItem::IsWide() const
{
    const int version = MovieVersion(this);
    return version < 0 || version >= kFirstWideClipEventVersion;
}

int CClipEventFlagsItem::ReadSWF(CSWFStream* stream)
{
    if (IsWide()) {
        const uint32_t flags = stream->GetU32();
        m_Flags = flags & kEventMask;
        m_ReservedFlags = flags & ~kEventMask;
    } else {
        m_Flags = stream->GetU16();
        m_ReservedFlags = 0;
    }
    ApplyEvents();
    return NoShortfall(stream) ? 1 : 0;
}

int CClipEventFlagsItem::WriteSWF(CSWFStream* stream)
{
    if (IsWide())
        return stream->WriteU32(GetFlags32() | (m_ReservedFlags & ~kEventMask));
    return stream->WriteU16(GetFlags16());
}

int CClipEventFlagsItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CClipEventFlagsItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_Flags = m_Flags;
    copy->m_ReservedFlags = m_ReservedFlags;
    copy->ApplyEvents();
    return 1;
}

void CClipEventFlagsItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("flags", m_Flags);
    visitor.Int("reservedFlags", m_ReservedFlags);
}

// ---- CClipActionsRecordItem, CClipActionsRecordsItem, CClipActionsItem ----

CClipActionsRecordItem::CClipActionsRecordItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pEventFlags(std::make_unique<CClipEventFlagsItem>(owner, style))
    , m_pActions(std::make_unique<CActionsItem>(owner, style))
{ }

CClipActionsRecordItem::~CClipActionsRecordItem() = default;

void CClipActionsRecordItem::SetEventFlags(const CClipEventFlagsItem* flags)
{
    ReplaceChild(flags, m_pOwner, m_Style, m_pEventFlags);
}

void CClipActionsRecordItem::SetActions(const CActionsItem* actions)
{
    ReplaceChild(actions, m_pOwner, m_Style, m_pActions);
}

int CClipActionsRecordItem::ReadSWF(CSWFStream* stream)
{
    m_Trailing.clear();
    if (!m_pEventFlags->ReadSWF(stream))
        return 0;
    if (IsEmpty())
        return 1;
    const uint32_t size = stream->GetU32();
    if (!NoShortfall(stream))
        return 0;
    // The key code and the actions are read from a window of the record's size that never reaches past the
    // data; the stream then moves past the whole record whatever the actions took.
    const uint32_t start = stream->GetPosition();
    const uint32_t available = std::min<uint32_t>(size, static_cast<uint32_t>(RestOf(stream)));
    CSWFStream window;
    window.Assign(stream->GetBuffer() ? stream->GetBuffer() + start : nullptr, available);
    int ok = 1;
    m_HasBody = size != 0;
    if (!m_HasBody) {
        m_pActions->SetEmpty();
        stream->SetPosition(start);
        return 1;
    }
    if (m_pEventFlags->m_Flags & CClipEventFlagsItem::kKeyPressBit)
        m_KeyCode = window.GetU8();
    m_HasActionBlock = window.GetDataRest() > 0;
    if (m_HasActionBlock)
        ok = m_pActions->ReadSWF(&window);
    else
        m_pActions->SetEmpty();
    window.FlushBits();
    if (window.GetDataRest() > 0) {
        const uint8_t* rest = window.GetBuffer() + window.GetPosition();
        m_Trailing.assign(rest, rest + window.GetDataRest());
    }
    stream->SetPosition(static_cast<unsigned long>(start) + size);
    return ok && NoShortfall(&window) && NoShortfall(stream) ? 1 : 0;
}

int CClipActionsRecordItem::WriteSWF(CSWFStream* stream)
{
    if (!m_pEventFlags->WriteSWF(stream))
        return 0;
    if (IsEmpty())
        return 1;
    if (!m_HasBody && m_pActions->IsEmpty() && m_Trailing.empty())
        return stream->WriteU32(0);
    CSWFStream scratch;
    if ((m_pEventFlags->m_Flags & CClipEventFlagsItem::kKeyPressBit) && !scratch.WriteU8(m_KeyCode))
        return 0;
    if ((m_HasActionBlock || !m_pActions->IsEmpty()) && !m_pActions->WriteSWF(&scratch))
        return 0;
    scratch.FlushBits();
    if (!m_Trailing.empty() && !scratch.WriteBuf(m_Trailing.data(), m_Trailing.size()))
        return 0;
    return stream->WriteU32(scratch.GetSize()) && stream->WriteBuf(scratch.GetBuffer(), scratch.GetSize()) ? 1 : 0;
}

int CClipActionsRecordItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CClipActionsRecordItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_KeyCode = m_KeyCode;
    copy->m_Trailing = m_Trailing;
    copy->m_HasBody = m_HasBody;
    copy->m_HasActionBlock = m_HasActionBlock;
    return CopyChild(m_pEventFlags.get(), owner, copy->m_pEventFlags)
            && CopyChild(m_pActions.get(), owner, copy->m_pActions)
        ? 1
        : 0;
}

void CClipActionsRecordItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Child("eventFlags", m_pEventFlags.get());
    visitor.Int("keyCode", m_KeyCode);
    visitor.Child("actions", m_pActions.get());
    visitor.Bytes("trailing", m_Trailing.data(), m_Trailing.size());
    visitor.Int("hasBody", m_HasBody);
    visitor.Int("hasActionBlock", m_HasActionBlock);
}

CClipActionsRecordsItem::CClipActionsRecordsItem(CSWFObject* owner, unsigned char style)
    : CSWFItemsUnCountable(owner, style)
{
    m_ItemClassID = kClassID_CClipActionsRecordItem;
}

CClipActionsItem::CClipActionsItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pAllEventFlags(std::make_unique<CClipEventFlagsItem>(owner, style))
    , m_pClipActionRecords(std::make_unique<CClipActionsRecordsItem>(owner, style))
{ }

CClipActionsItem::~CClipActionsItem() = default;

void CClipActionsItem::SetAllEventFlags(const CClipEventFlagsItem* flags)
{
    ReplaceChild(flags, m_pOwner, m_Style, m_pAllEventFlags);
}

void CClipActionsItem::SetClipActionRecords(const CClipActionsRecordsItem* records)
{
    ReplaceChild(records, m_pOwner, m_Style, m_pClipActionRecords);
}

int CClipActionsItem::ReadSWF(CSWFStream* stream)
{
    m_Reserved = stream->GetU16();
    if (m_Reserved != 0)
        SWFDebugger.Add(this, kSWFErr_InvalidReserved, "", m_Reserved, kSWFType_Hint);
    if (!m_pAllEventFlags->ReadSWF(stream))
        return 0;
    return m_pClipActionRecords->ReadSWF(stream) && NoShortfall(stream) ? 1 : 0;
}

int CClipActionsItem::WriteSWF(CSWFStream* stream)
{
    return stream->WriteU16(m_Reserved) && m_pAllEventFlags->WriteSWF(stream) && m_pClipActionRecords->WriteSWF(stream)
        ? 1
        : 0;
}

int CClipActionsItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CClipActionsItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_Reserved = m_Reserved;
    return CopyChild(m_pAllEventFlags.get(), owner, copy->m_pAllEventFlags)
            && CopyChild(m_pClipActionRecords.get(), owner, copy->m_pClipActionRecords)
        ? 1
        : 0;
}

void CClipActionsItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("reserved", m_Reserved);
    visitor.Child("allEventFlags", m_pAllEventFlags.get());
    visitor.Child("clipActionRecords", m_pClipActionRecords.get());
}

// ---- CAssetItem, CAssetsItem ----

CAssetItem::CAssetItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pName(std::make_unique<C0TrmStringItem>(owner, style))
{ }

CAssetItem::~CAssetItem() = default;

void CAssetItem::SetName(const C0TrmStringItem* name)
{
    ReplaceChild(name, m_pOwner, m_Style, m_pName);
}

int CAssetItem::ReadSWF(CSWFStream* stream)
{
    m_ID = stream->GetU16();
    if (!NoShortfall(stream))
        return 0;
    return m_pName->ReadSWF(stream);
}

int CAssetItem::WriteSWF(CSWFStream* stream)
{
    return stream->WriteU16(m_ID) && m_pName->WriteSWF(stream) ? 1 : 0;
}

int CAssetItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CAssetItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    return CopyChild(m_pName.get(), owner, copy->m_pName);
}

void CAssetItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Child("name", m_pName.get());
}

CAssetsItem::CAssetsItem(CSWFObject* owner, unsigned char style)
    : CSWFItemsWordCount(owner, style)
{
    m_ItemClassID = kClassID_CAssetItem;
}
