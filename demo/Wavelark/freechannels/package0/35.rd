${SERVER_BASE}/hls/tone2010.m3u8
