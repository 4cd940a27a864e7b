#include "MovieBuilder.h"

#include <cairo.h>
#include <jpeglib.h>

#include <cstdio>
#include <cstring>

namespace plugintest {

namespace {

constexpr uint8_t kActionGotoFrame = 0x81;
constexpr uint8_t kActionGetURL = 0x83;
constexpr uint8_t kActionGotoLabel = 0x8C;

void Body(CSWFStream& out, CTag& tag)
{
    tag.WriteSWF(&out);
}

void WriteString(std::vector<uint8_t>& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

void WriteU16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v & 0xFF));
    out.push_back(uint8_t(v >> 8));
}

} // namespace

std::unique_ptr<CMatrixItem> Translate(int x, int y, float sx, float sy)
{
    auto m = std::make_unique<CMatrixItem>();
    m->m_TranslateX = x;
    m->m_TranslateY = y;
    m->m_ScaleX = sx;
    m->m_ScaleY = sy;
    return m;
}

std::unique_ptr<CFillStyleItem> SolidFill(Color c, unsigned char style)
{
    auto fill = std::make_unique<CFillStyleItem>(nullptr, style);
    fill->SetFillStyle(kFillSolid);
    CColorItem color(nullptr, style);
    color.SetRGBA({ c.r, c.g, c.b, c.a });
    fill->SetFillObject(&color);
    return fill;
}

std::unique_ptr<CFillStyleItem> GradientFill(uint8_t type, const std::vector<std::pair<uint8_t, Color>>& stops,
    const CMatrixItem& matrix, unsigned char style, uint8_t modes)
{
    auto fill = std::make_unique<CFillStyleItem>(nullptr, style);
    fill->SetFillStyle(type);
    auto* gradient = dynamic_cast<CFillGradientItem*>(fill->GetFillObject());
    gradient->SetMatrix(&matrix);
    auto records = std::make_unique<CGradRecordsItem>(nullptr, style);
    records->m_Modes = modes;
    for (const auto& [ratio, c] : stops) {
        auto record = std::make_unique<CGradRecordItem>(nullptr, style);
        record->m_Ratio = ratio;
        CColorItem color(nullptr, style);
        color.SetRGBA({ c.r, c.g, c.b, c.a });
        record->SetColor(&color);
        records->AppendItem(std::move(record));
    }
    CGradientItem g(nullptr, style);
    g.SetGradRecords(records.get());
    gradient->SetGradient(&g);
    return fill;
}

std::unique_ptr<CFillStyleItem> BitmapFill(
    uint8_t type, uint16_t bitmap, const CMatrixItem& matrix, unsigned char style)
{
    auto fill = std::make_unique<CFillStyleItem>(nullptr, style);
    fill->SetFillStyle(type);
    auto* object = dynamic_cast<CFillBitMapItem*>(fill->GetFillObject());
    object->m_BitMapID = bitmap;
    object->SetMatrix(&matrix);
    return fill;
}

void AddRect(CShapeItem& shape, int x0, int y0, int x1, int y1, uint32_t fill1, uint32_t line)
{
    auto* change = static_cast<CStyleChangeRecordItem*>(shape.GetItem(shape.Add(0)));
    change->m_StateMoveTo = true;
    change->m_MoveDeltaX = x0;
    change->m_MoveDeltaY = y0;
    change->m_StateFillStyle1 = true;
    change->m_FillStyle1 = fill1;
    change->m_StateLineStyle = true;
    change->m_LineStyle = line;
    const int deltas[4][2] = { { x1 - x0, 0 }, { 0, y1 - y0 }, { x0 - x1, 0 }, { 0, y0 - y1 } };
    for (const auto& d : deltas) {
        auto* edge = static_cast<CStraightedEdgeRecordItem*>(shape.GetItem(shape.Add(1)));
        edge->m_DeltaX = d[0];
        edge->m_DeltaY = d[1];
    }
}

MovieBuilder::MovieBuilder(int widthPixels, int heightPixels, float frameRate, uint8_t version)
{
    m_Header.m_Compressed = false;
    m_Header.m_Version = version;
    m_Header.m_FrameRate = frameRate;
    m_Header.m_pFrameRect->m_XMax = widthPixels * kTwips;
    m_Header.m_pFrameRect->m_YMax = heightPixels * kTwips;
    m_Header.WriteSWF(&m_Movie);
    m_CountPosition = m_Movie.GetPosition();
    m_Movie.WriteU16(0);
}

void MovieBuilder::tag(uint16_t code, CTag& tag)
{
    CSWFStream body;
    Body(body, tag);
    m_Movie.AppendTag(code, false, &body);
}

void MovieBuilder::raw(uint16_t code, const std::vector<uint8_t>& bytes)
{
    CSWFStream body;
    if (!bytes.empty())
        body.WriteBuf(bytes.data(), bytes.size());
    m_Movie.AppendTag(code, false, &body);
}

void MovieBuilder::background(Color c)
{
    CSetBackGroundColorTag tag;
    tag.m_pColor->SetRGB({ c.r, c.g, c.b });
    this->tag(kTagSetBackgroundColor, tag);
}

void MovieBuilder::shape(uint16_t id, int x0, int y0, int x1, int y1,
    std::vector<std::unique_ptr<CFillStyleItem>> fills, int shapeVersion, uint16_t lineWidth, Color lineColor,
    bool fillInside)
{
    std::unique_ptr<CShapeTag> tag;
    uint16_t code = kTagDefineShape3;
    if (shapeVersion == 1) {
        tag = std::make_unique<CDefineShapeTag>();
        code = kTagDefineShape;
    } else if (shapeVersion == 2) {
        tag = std::make_unique<CDefineShape2Tag>();
        code = kTagDefineShape2;
    } else {
        tag = std::make_unique<CDefineShape3Tag>();
    }
    const unsigned char style = tag->GetStyle();
    tag->m_ID = id;
    CRectItem bounds(nullptr, style);
    bounds.m_XMin = x0 - lineWidth;
    bounds.m_YMin = y0 - lineWidth;
    bounds.m_XMax = x1 + lineWidth;
    bounds.m_YMax = y1 + lineWidth;
    tag->SetBounds(&bounds);
    CShapeWithStyleItem shapes(nullptr, style);
    CFillStyleArrayItem fillArray(nullptr, style);
    const auto fillCount = uint32_t(fills.size());
    for (auto& fill : fills) {
        fill->SetItemStyle(style);
        fillArray.AppendItem(std::move(fill));
    }
    CLineStyleArrayItem lineArray(nullptr, style);
    if (lineWidth > 0) {
        auto line = std::make_unique<CLineStyleItem>(nullptr, style);
        line->m_Width = lineWidth;
        CColorItem color(nullptr, style);
        color.SetRGBA({ lineColor.r, lineColor.g, lineColor.b, lineColor.a });
        line->SetColor(&color);
        lineArray.AppendItem(std::move(line));
    }
    shapes.SetFillStyles(&fillArray);
    shapes.SetLineStyles(&lineArray);
    CShapeItem shape(nullptr, style);
    AddRect(shape, x0, y0, x1, y1, fillInside && fillCount > 0 ? 1 : 0, lineWidth > 0 ? 1 : 0);
    shapes.SetShape(&shape);
    tag->SetShapes(&shapes);
    this->tag(code, *tag);
}

void MovieBuilder::rectShape(uint16_t id, int x0, int y0, int x1, int y1, Color c, int shapeVersion)
{
    std::vector<std::unique_ptr<CFillStyleItem>> fills;
    fills.push_back(SolidFill(c, shapeVersion == 3 ? kStyleRGBA : kStyleShape1));
    shape(id, x0, y0, x1, y1, std::move(fills), shapeVersion);
}

void MovieBuilder::place(
    uint16_t depth, uint16_t id, int x, int y, const CCXFormItem* cx, uint16_t clipDepth, const char* name)
{
    CPlaceObject2Tag tag;
    tag.m_Depth = depth;
    tag.SetID(id);
    auto matrix = Translate(x, y);
    tag.SetMatrix(matrix.get());
    if (cx)
        tag.SetColorTransform(cx);
    if (clipDepth) {
        tag.m_HasClipDepth = true;
        tag.m_ClipDepth = clipDepth;
    }
    if (name) {
        C0TrmStringItem text;
        text.SetStr(name);
        tag.SetName(&text);
    }
    this->tag(kTagPlaceObject2, tag);
}

void MovieBuilder::placeRatio(uint16_t depth, uint16_t id, uint16_t ratio)
{
    CPlaceObject2Tag tag;
    tag.m_Depth = depth;
    if (id) {
        tag.SetID(id);
    } else {
        tag.m_Move = true;
    }
    tag.m_HasRatio = true;
    tag.m_Ratio = ratio;
    this->tag(kTagPlaceObject2, tag);
}

void MovieBuilder::move(uint16_t depth, int x, int y)
{
    CPlaceObject2Tag tag;
    tag.m_Depth = depth;
    tag.m_Move = true;
    auto matrix = Translate(x, y);
    tag.SetMatrix(matrix.get());
    this->tag(kTagPlaceObject2, tag);
}

void MovieBuilder::placeObject1(uint16_t depth, uint16_t id, int x, int y)
{
    CPlaceObjectTag tag;
    tag.m_Depth = depth;
    tag.m_ID = id;
    auto matrix = Translate(x, y);
    tag.SetMatrix(matrix.get());
    this->tag(kTagPlaceObject, tag);
}

void MovieBuilder::remove(uint16_t depth)
{
    std::vector<uint8_t> body;
    WriteU16(body, depth);
    raw(kTagRemoveObject2, body);
}

void MovieBuilder::remove1(uint16_t depth, uint16_t id)
{
    std::vector<uint8_t> body;
    WriteU16(body, id);
    WriteU16(body, depth);
    raw(kTagRemoveObject, body);
}

void MovieBuilder::label(const std::string& name)
{
    std::vector<uint8_t> body;
    WriteString(body, name);
    raw(kTagFrameLabel, body);
}

void MovieBuilder::actions(const std::vector<uint8_t>& codes)
{
    std::vector<uint8_t> body(codes);
    body.push_back(0);
    raw(kTagDoAction, body);
}

void MovieBuilder::gotoFrameAction(uint16_t frame)
{
    std::vector<uint8_t> body { kActionGotoFrame };
    WriteU16(body, 2);
    WriteU16(body, frame);
    body.push_back(0);
    raw(kTagDoAction, body);
}

void MovieBuilder::gotoLabelAction(const std::string& label)
{
    std::vector<uint8_t> body { kActionGotoLabel };
    WriteU16(body, uint16_t(label.size() + 1));
    WriteString(body, label);
    body.push_back(0);
    raw(kTagDoAction, body);
}

void MovieBuilder::getURLAction(const std::string& url, const std::string& target)
{
    std::vector<uint8_t> body { kActionGetURL };
    WriteU16(body, uint16_t(url.size() + target.size() + 2));
    WriteString(body, url);
    WriteString(body, target);
    body.push_back(0);
    raw(kTagDoAction, body);
}

void MovieBuilder::showFrame()
{
    ++m_Frames;
    m_Movie.AppendTag(kTagShowFrame, false, nullptr);
}

std::vector<uint8_t> MovieBuilder::finish()
{
    m_Movie.AppendTag(kTagEnd, false, nullptr);
    const uint32_t end = m_Movie.GetPosition();
    m_Movie.SetPosition(m_CountPosition);
    m_Movie.WriteU16(uint16_t(m_Frames));
    m_Movie.SetPosition(end);
    m_Header.MakeCompleteSWF(&m_Movie);
    return std::vector<uint8_t>(m_Movie.GetBuffer(), m_Movie.GetBuffer() + m_Movie.GetSize());
}

void SpriteBuilder::place(uint16_t depth, uint16_t id, int x, int y, uint16_t clipDepth)
{
    CPlaceObject2Tag tag;
    tag.m_Depth = depth;
    tag.SetID(id);
    if (clipDepth) {
        tag.m_HasClipDepth = true;
        tag.m_ClipDepth = clipDepth;
    }
    auto matrix = Translate(x, y);
    tag.SetMatrix(matrix.get());
    CSWFStream body;
    tag.WriteSWF(&body);
    m_Tags.AppendTag(kTagPlaceObject2, false, &body);
}

void SpriteBuilder::move(uint16_t depth, int x, int y)
{
    CPlaceObject2Tag tag;
    tag.m_Depth = depth;
    tag.m_Move = true;
    auto matrix = Translate(x, y);
    tag.SetMatrix(matrix.get());
    CSWFStream body;
    tag.WriteSWF(&body);
    m_Tags.AppendTag(kTagPlaceObject2, false, &body);
}

void SpriteBuilder::actions(const std::vector<uint8_t>& codes)
{
    CSWFStream body;
    for (uint8_t code : codes)
        body.WriteU8(code);
    body.WriteU8(0);
    m_Tags.AppendTag(kTagDoAction, false, &body);
}

void SpriteBuilder::showFrame()
{
    ++m_Frames;
    m_Tags.AppendTag(kTagShowFrame, false, nullptr);
}

void SpriteBuilder::define(MovieBuilder& movie, uint16_t id)
{
    m_Tags.AppendTag(kTagEnd, false, nullptr);
    CSWFStream body;
    body.WriteU16(id);
    body.WriteU16(uint16_t(m_Frames));
    body.WriteBuf(m_Tags.GetBuffer(), m_Tags.GetSize());
    movie.stream().AppendTag(kTagDefineSprite, false, &body);
}

std::vector<uint8_t> SolidJPEG(int width, int height, Color c)
{
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(size_t(width) * 3);
    for (int x = 0; x < width; ++x) {
        row[size_t(x) * 3] = c.r;
        row[size_t(x) * 3 + 1] = c.g;
        row[size_t(x) * 3 + 2] = c.b;
    }
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = { row.data() };
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

namespace {
cairo_status_t AppendPNGBytes(void* closure, const unsigned char* data, unsigned int length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}
} // namespace

std::vector<uint8_t> SolidPNG(int width, int height, const std::vector<uint32_t>& argb)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_surface_flush(surface);
    unsigned char* pixels = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t p = argb[size_t(y * width + x)];
            const uint32_t a = p >> 24;
            auto pre = [a](uint32_t c) { return (c * a + 127) / 255; };
            reinterpret_cast<uint32_t*>(pixels + y * stride)[x]
                = (a << 24) | (pre((p >> 16) & 0xFF) << 16) | (pre((p >> 8) & 0xFF) << 8) | pre(p & 0xFF);
        }
    cairo_surface_mark_dirty(surface);
    std::vector<uint8_t> out;
    cairo_surface_write_to_png_stream(surface, AppendPNGBytes, &out);
    cairo_surface_destroy(surface);
    return out;
}

} // namespace plugintest
