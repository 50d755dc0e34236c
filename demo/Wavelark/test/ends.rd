${STREAM_BASE}/ends.mp3
