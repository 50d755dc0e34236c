#pragma once

// Owners for GStreamer and GLib handles. This header pulls in gst/gst.h, so only .cpp files
// include it; public headers forward-declare what they need.

#include <gst/gst.h>
#include <memory>

struct GstObjectUnref
{
    void operator()(gpointer object) const noexcept
    {
        if (object)
            gst_object_unref(object);
    }
};
struct GstMessageUnref
{
    void operator()(GstMessage* message) const noexcept { gst_message_unref(message); }
};
struct GstTagListUnref
{
    void operator()(GstTagList* tags) const noexcept { gst_tag_list_unref(tags); }
};
struct GErrorFree
{
    void operator()(GError* error) const noexcept { g_error_free(error); }
};
struct GFree
{
    void operator()(gpointer memory) const noexcept { g_free(memory); }
};

using GstElementPtr = std::unique_ptr<GstElement, GstObjectUnref>;
using GstBusPtr = std::unique_ptr<GstBus, GstObjectUnref>;
using GstPadPtr = std::unique_ptr<GstPad, GstObjectUnref>;
using GstMessagePtr = std::unique_ptr<GstMessage, GstMessageUnref>;
using GstTagListPtr = std::unique_ptr<GstTagList, GstTagListUnref>;
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;
using GCharPtr = std::unique_ptr<gchar, GFree>;
