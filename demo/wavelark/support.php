<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Wavelark - Help</title>
<link rel="stylesheet" href="style.css">
</head>
<body>
<header><h1>Wavelark</h1></header>
<nav><a href="index.php">Home</a><a href="shopping.php">Shop</a><a href="color.php">Upgrade</a><a href="watchtv.php">Watch TV</a><a href="download.php">Download</a><a href="support.php">Help</a><a href="contact.php">Contact us</a></nav>
<main>
<h2>Help</h2>
<p><b>No sound?</b> Check that the Mute box is clear and the volume slider is not at the left end.</p>
<p><b>A channel does not start?</b> Some channels are not part of every package. Choose another channel or press Random Channel.</p>
<p><b>Where are my favourites?</b> Right-click a channel in the list and add it to your favourites.</p>
</main>
<footer>Wavelark demo content. Served from this computer for testing.</footer>
</body>
</html>
