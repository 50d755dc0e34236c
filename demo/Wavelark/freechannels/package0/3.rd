${STREAM_BASE}/tone610.ogg
