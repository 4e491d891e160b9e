#version 400 core
// Placeholder pictures: a textured quad covering the viewport.
in vec4 inVertexPos;
in vec2 inTextCoordinate;
out vec2 textCoordinate;

void main()
{
    gl_Position = vec4(inVertexPos.xy, 0.0, 1.0);
    textCoordinate = inTextCoordinate;
}
