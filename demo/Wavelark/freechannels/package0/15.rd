${STREAM_BASE}/tone1170.ogg
