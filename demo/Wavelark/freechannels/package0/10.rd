${STREAM_BASE}/tone470.mp3
