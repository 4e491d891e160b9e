#version 400 core

// Vertex stage of the grading, colour-converter, blur and glow programs:
// places the two triangles with the matrix and hands the texture coordinate
// to the fragment stage.

in vec4 inVertexPos;
in vec2 inTextCoordinate;

uniform mat4 uniMatrix;

out vec2 varTextCoordinate;

void main()
{
    gl_Position = uniMatrix * vec4(inVertexPos.xy, 0.0, 1.0);
    varTextCoordinate = inTextCoordinate;
}
