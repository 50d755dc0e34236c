#include "hosted/DecoderRegistry.h"

#include <QLoggingCategory>
#include <cstring>
#include <gst/gst.h>
#include <mutex>

Q_LOGGING_CATEGORY(lcDecoders, "wavelark.decoders")

namespace {

// What radio stations send, as the caps a decoder must take.
struct RadioFormat
{
    const char* name;
    const char* caps;
};

constexpr RadioFormat kRadioFormats[] = {
    {"MP3", "audio/mpeg, mpegversion=(int)1, layer=(int)3"},
    {"AAC", "audio/mpeg, mpegversion=(int)4, stream-format=(string)adts"},
    {"Vorbis", "audio/x-vorbis"},
    {"Opus", "audio/x-opus"},
};

// The plugin taken out of the registry and its features, each with a reference of ours; null
// while nothing is held back.
struct HeldBack
{
    std::mutex mutex;
    GstPlugin* plugin = nullptr;
    GList* features = nullptr;
};

HeldBack& Held()
{
    static HeldBack held;
    return held;
}

bool FromHeavyPlugin(GstPluginFeature* feature)
{
    const gchar* plugin = gst_plugin_feature_get_plugin_name(feature);
    return plugin && std::strcmp(plugin, DecoderRegistry::kHeavyPlugin) == 0;
}

} // namespace

QString DecoderRegistry::FormatWithoutLightDecoder()
{
    GList* decoders = gst_element_factory_list_get_elements(
        GST_ELEMENT_FACTORY_TYPE_DECODER | GST_ELEMENT_FACTORY_TYPE_MEDIA_AUDIO, GST_RANK_MARGINAL);
    QString missing;
    for (const RadioFormat& format : kRadioFormats) {
        GstCaps* caps = gst_caps_from_string(format.caps);
        // Reads the factories' pad templates from the registry: loads no plugin.
        GList* takers = gst_element_factory_list_filter(decoders, caps, GST_PAD_SINK, FALSE);
        bool covered = false;
        for (GList* item = takers; item && !covered; item = item->next)
            covered = !FromHeavyPlugin(GST_PLUGIN_FEATURE(item->data));
        gst_plugin_feature_list_free(takers);
        gst_caps_unref(caps);
        if (!covered) {
            missing = QString::fromLatin1(format.name);
            break;
        }
    }
    gst_plugin_feature_list_free(decoders);
    return missing;
}

void DecoderRegistry::HoldBackHeavyDecoders()
{
    HeldBack& held = Held();
    const std::lock_guard lock(held.mutex);
    if (held.plugin)
        return;
    GstRegistry* registry = gst_registry_get();
    GstPlugin* plugin = gst_registry_find_plugin(registry, kHeavyPlugin);
    if (!plugin)
        return; // not installed: nothing to keep out
    if (gst_plugin_is_loaded(plugin)) {
        // Its libraries are mapped already; taking it out would save nothing.
        gst_object_unref(plugin);
        return;
    }
    const QString missing = FormatWithoutLightDecoder();
    if (!missing.isEmpty()) {
        qCInfo(lcDecoders).noquote()
            << "only the" << kHeavyPlugin << "plugin decodes" << missing << "here: keeping it";
        gst_object_unref(plugin);
        return;
    }
    held.features = gst_registry_get_feature_list_by_plugin(registry, kHeavyPlugin);
    gst_registry_remove_plugin(registry, plugin);
    held.plugin = plugin;
    qCInfo(lcDecoders).noquote()
        << "the" << kHeavyPlugin << "plugin is held back (" << g_list_length(held.features)
        << "features) while other decoders cover MP3, AAC, Vorbis and Opus";
}

bool DecoderRegistry::AdmitHeldBackDecoders()
{
    HeldBack& held = Held();
    const std::lock_guard lock(held.mutex);
    if (!held.plugin)
        return false;
    GstRegistry* registry = gst_registry_get();
    // The registry takes its own references; the change of its cookie makes playbin and
    // decodebin read their factory lists again.
    gst_registry_add_plugin(registry, held.plugin);
    for (GList* item = held.features; item; item = item->next)
        gst_registry_add_feature(registry, GST_PLUGIN_FEATURE(item->data));
    gst_plugin_feature_list_free(held.features);
    gst_object_unref(held.plugin);
    held.features = nullptr;
    held.plugin = nullptr;
    qCInfo(lcDecoders).noquote() << "the" << kHeavyPlugin << "plugin is admitted again";
    return true;
}

bool DecoderRegistry::HoldingBack()
{
    HeldBack& held = Held();
    const std::lock_guard lock(held.mutex);
    return held.plugin != nullptr;
}
