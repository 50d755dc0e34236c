${STREAM_BASE}/tone1730.opus
