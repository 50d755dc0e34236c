<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Wavelark - Download</title>
<link rel="stylesheet" href="style.css">
</head>
<body>
<header><h1>Wavelark</h1></header>
<nav><a href="index.php">Home</a><a href="shopping.php">Shop</a><a href="color.php">Upgrade</a><a href="watchtv.php">Watch TV</a><a href="download.php">Download</a><a href="support.php">Help</a><a href="contact.php">Contact us</a></nav>
<main>
<h2>Download the latest version</h2>
<p>Wavelark 3.10 is available. It brings a refreshed channel list and smoother start-up of live streams.</p>
<p class="note">Downloads are not available in this demo.</p>
</main>
<footer>Wavelark demo content. Served from this computer for testing.</footer>
</body>
</html>
