${STREAM_BASE}/tone750.mp3
