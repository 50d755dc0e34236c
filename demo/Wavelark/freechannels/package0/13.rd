${STREAM_BASE}/tone890.ogg
