${STREAM_BASE}/tone330.ogg
