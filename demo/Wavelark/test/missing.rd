${STREAM_BASE}/missing.ogg
