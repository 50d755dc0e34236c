<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Wavelark - Internet radio in your tray</title>
<link rel="stylesheet" href="style.css">
</head>
<body>
<header><h1>Wavelark</h1></header>
<nav><a href="index.php">Home</a><a href="shopping.php">Shop</a><a href="color.php">Upgrade</a><a href="watchtv.php">Watch TV</a><a href="download.php">Download</a><a href="support.php">Help</a><a href="contact.php">Contact us</a></nav>
<main>
<h2>Internet radio in your system tray</h2>
<p>Wavelark plays radio channels from around the world. Pick a country, choose a channel and listen while you work: the player stays out of the way in the system tray.</p>
<p class="note">The channels of this demo play test tones, one pitch per stream.</p>
</main>
<footer>Wavelark demo content. Served from this computer for testing.</footer>
</body>
</html>
