// placeholder, replaced by the first real source
