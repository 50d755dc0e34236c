${STREAM_BASE}/tone1870.aac
