${STREAM_BASE}/restart.mp3
