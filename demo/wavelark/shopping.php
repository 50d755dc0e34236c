<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Wavelark - Shop</title>
<link rel="stylesheet" href="style.css">
</head>
<body>
<header><h1>Wavelark</h1></header>
<nav><a href="index.php">Home</a><a href="shopping.php">Shop</a><a href="color.php">Upgrade</a><a href="watchtv.php">Watch TV</a><a href="download.php">Download</a><a href="support.php">Help</a><a href="contact.php">Contact us</a></nav>
<main>
<h2>Channel packages</h2>
<p>Add more countries and channels to your player with a channel package.</p>
<ul><li>Free package: channels from eight countries</li><li>Plus package: every channel, no interruptions</li></ul>
<p class="note">Purchases are not available in this demo.</p>
</main>
<footer>Wavelark demo content. Served from this computer for testing.</footer>
</body>
</html>
