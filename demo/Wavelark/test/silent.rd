${STREAM_BASE}/silent.mp3
